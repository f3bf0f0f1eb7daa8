// Program-wide state of the WAV files and the record/play transport. Every
// variable starts at zero; FormCreate gives each its start value.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace files {

// Transport flags, written by the transport buttons and, at the end of the
// play data, by the cycle.
inline std::uint8_t record_on = 0;       // the cycle appends each output block
inline std::uint8_t play_on = 0;         // the cycle reads its input from the play file
inline std::uint8_t pause_on = 0;        // silence out, no file reading or writing
inline std::uint8_t transport_idle = 0;  // neither recording nor playing

// WAV files, opened by the Open Wave and Save Wave commands. The cycle reads
// and writes blocks and keeps the two counts.
inline std::FILE* record_file = nullptr;
inline std::FILE* play_file = nullptr;
inline std::int32_t record_file_open = 0;
inline std::int32_t play_file_open = 0;
inline std::int32_t record_byte_count = 0;  // sample bytes written so far
inline std::int32_t play_bytes_left = 0;    // sample bytes not yet read
inline std::uint16_t play_channels = 0;     // channels of the play file's frames, 1 or 2
inline std::string record_path;
inline std::string play_path;

// Kept from the settings file and written back unchanged (saved).
inline std::int32_t settings_reserved = 0;

}  // namespace files
