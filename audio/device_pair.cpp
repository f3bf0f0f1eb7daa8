#include "audio/device_pair.h"

#include "audio/wave_call.h"

namespace audio {

namespace {

std::size_t index_of(Direction direction) { return direction == Direction::input ? 0 : 1; }

// The longest a wait sleeps before it looks at its buffer and flag again,
// should neither a message nor the device wake it.
constexpr std::chrono::milliseconds wait_slice{50};

// Times an open or a query is asked while its answer is pending. Each ask
// waits up to the system's answer limit (100 ms for the sound server's), and
// on a busy machine the server takes up to a quarter of a second to open a
// stream: an open given up too soon costs the cycle its devices for the
// seconds until the next one.
constexpr int open_asks = 5;

// The first answer of `open` that is not wave_pending, or wave_pending
// after open_asks.
template <typename Open>
int answer_of(Open open) {
  int result = open();
  for (int asked = 1; result == wave_pending && asked < open_asks; ++asked) result = open();
  return result;
}

}  // namespace

bool HeldReports::admit(Direction direction, std::string_view text) {
  return shown_[index_of(direction)].emplace(text).second;
}

void HeldReports::release(Direction direction) {
  shown_[index_of(direction)].clear();
  ++releases_[index_of(direction)];
}

std::uint32_t HeldReports::releases(Direction direction) const {
  return releases_[index_of(direction)];
}

void HeldReports::release_all() {
  release(Direction::input);
  release(Direction::output);
}

DevicePair::DevicePair(WaveSystem& system, WaveHost& host)
    : in_data_a(std::make_unique<std::uint8_t[]>(audio_block_bytes)),
      in_data_b(std::make_unique<std::uint8_t[]>(audio_block_bytes)),
      out_data_a(std::make_unique<std::uint8_t[]>(audio_block_bytes)),
      out_data_b(std::make_unique<std::uint8_t[]>(audio_block_bytes)),
      system_(system),
      host_(host) {}

void DevicePair::set_input_channels(std::uint16_t channels) {
  in_channels = channels;
  in_bits = 16;
  bytes_per_sample = 2;
  in_block_align = static_cast<std::uint16_t>(bytes_per_sample * channels);
  in_avg_bytes = in_sample_rate * bytes_per_sample * channels;
  in_buffer_bytes = static_cast<std::uint16_t>(pass_frames_ * bytes_per_sample * channels);
}

void DevicePair::set_pass_frames(int frames) {
  pass_frames_ = frames;
  in_buffer_bytes = static_cast<std::uint16_t>(frames * bytes_per_sample * in_channels);
  out_buffer_bytes = static_cast<std::uint16_t>(frames * bytes_per_sample * out_channels);
}

int DevicePair::checked(Direction direction, int result, std::string_view text) {
  if (result == wave_ok) return result;
  if (result == wave_invalid_handle && open_failed_[index_of(direction)]) return result;
  if (reports.admit(direction, text)) {
    host_.report(wave_caption, text);
  }
  return result;
}

// Input.

template <typename Stream>
void DevicePair::notify_host(Stream& stream) {
  stream.set_completion_notice([&host = host_] { host.wake(); });
}

// Sleeps in the host's message wait until the header is done; a raised
// timeout resets and restarts capture (each reported on failure) and ends
// the wait. Handlers run in the wait may close the device, so wave_in is
// read afresh every time.
unsigned DevicePair::wait_in(const WaveHeader& header, const std::uint8_t& timeout) {
  while ((header.flags.load() & header_done) == 0) {
    if (timeout == 1) {
      reset_wave_in();
      start_wave_in();
      break;
    }
    host_.wait_for_messages(wait_slice);
  }
  return header.bytes_recorded.load();
}

void DevicePair::init_in_headers() {
  in_wave_format = WaveFormat{
      .format_tag = 1,
      .channels = in_channels,
      .samples_per_sec = static_cast<std::uint32_t>(in_sample_rate),
      .avg_bytes_per_sec = static_cast<std::uint32_t>(in_avg_bytes),
      .block_align = in_block_align,
      .bits_per_sample = in_bits,
      .buffer_frames = static_cast<std::uint32_t>(pass_frames_),
  };
  reset_in_header_a();
  reset_in_header_b();
}

void DevicePair::reset_in_header_a() { set_header(in_header_a, in_data_a.get(), in_buffer_bytes); }
void DevicePair::reset_in_header_b() { set_header(in_header_b, in_data_b.get(), in_buffer_bytes); }

int DevicePair::open_wave_in() {
  checked(Direction::input,
          answer_of([&] { return system_.open_input(input_device_id, in_wave_format, nullptr); }),
          "Could not open the input wave device");
  std::unique_ptr<WaveInStream> stream;
  const int result = checked(Direction::input, answer_of([&] {
                               return system_.open_input(input_device_id, in_wave_format, &stream);
                             }),
                             "Error Opening Input wave device");
  wave_in = std::move(stream);
  if (wave_in) {
    notify_host(*wave_in);
    reports.release(Direction::input);
  }
  open_failed_[index_of(Direction::input)] = !wave_in;
  return result;
}

bool DevicePair::query_wave_in() {
  bool failed = false;
  const auto test = [this, &failed](int result) {
    if (result != wave_ok) {
      host_.report("Device Message", "Sound input device not compatible");
      failed = true;
    }
  };
  test(system_.open_input(input_device_id, in_wave_format, nullptr));
  std::unique_ptr<WaveInStream> stream;
  test(system_.open_input(input_device_id, in_wave_format, &stream));
  return failed;
}

int DevicePair::prepare_in_a() {
  return checked(Direction::input, call_on(wave_in, &WaveInStream::prepare, in_header_a),
                 "Error preparing the header_a");
}
int DevicePair::prepare_in_b() {
  return checked(Direction::input, call_on(wave_in, &WaveInStream::prepare, in_header_b),
                 "Error preparing the header_b");
}

int DevicePair::add_in_a() {
  return checked(Direction::input, call_on(wave_in, &WaveInStream::add_buffer, in_header_a),
                 "Error in sending a buffer_a");
}
int DevicePair::add_in_b() {
  return checked(Direction::input, call_on(wave_in, &WaveInStream::add_buffer, in_header_b),
                 "Error in sending a buffer_b");
}

int DevicePair::start_wave_in() {
  return checked(Direction::input, call_on(wave_in, &WaveInStream::start),
                 "Error starting the input wave device");
}

std::optional<std::uint32_t> DevicePair::get_in_position() {
  std::uint32_t bytes = 0;
  if (checked(Direction::input, call_on(wave_in, &WaveInStream::position, bytes),
              "Error getting the byte position") != wave_ok) {
    return std::nullopt;
  }
  return bytes;
}

unsigned DevicePair::wait_in_a(const std::uint8_t& timeout) {
  return wait_in(in_header_a, timeout);
}
unsigned DevicePair::wait_in_b(const std::uint8_t& timeout) {
  return wait_in(in_header_b, timeout);
}

int DevicePair::reset_wave_in() {
  return checked(Direction::input, call_on(wave_in, &WaveInStream::reset),
                 "Error Resetting the input wave device");
}

int DevicePair::unprepare_in_b() { return call_on(wave_in, &WaveInStream::unprepare, in_header_b); }

int DevicePair::close_wave_in() {
  reset_wave_in();
  checked(Direction::input, call_on(wave_in, &WaveInStream::unprepare, in_header_a),
          "Error unpreparing the _a Header");
  checked(Direction::input, call_on(wave_in, &WaveInStream::unprepare, in_header_b),
          "Error unpreparing the _b Header");
  const int closed = wave_in ? wave_ok : wave_invalid_handle;
  wave_in.reset();
  return checked(Direction::input, closed, "Error closing the input wave device");
}

// Output.

// Sleeps in the host's message wait until the header is done; a raised
// timeout resets and restarts the output (nothing reported) and ends the
// wait. Handlers run in the wait may close the device, so wave_out is read
// afresh every time.
unsigned DevicePair::wait_out(const WaveHeader& header, const std::uint8_t& timeout) {
  while ((header.flags.load() & header_done) == 0) {
    if (timeout == 1) {
      call_on(wave_out, &WaveOutStream::reset);
      call_on(wave_out, &WaveOutStream::restart);
      break;
    }
    host_.wait_for_messages(wait_slice);
  }
  return header.bytes_recorded.load();
}

void DevicePair::init_out_headers() {
  out_wave_format = WaveFormat{
      .format_tag = 1,
      .channels = out_channels,
      .samples_per_sec = static_cast<std::uint32_t>(out_sample_rate),
      .avg_bytes_per_sec = static_cast<std::uint32_t>(out_avg_bytes),
      .block_align = out_block_align,
      .bits_per_sample = out_bits,
      .buffer_frames = static_cast<std::uint32_t>(pass_frames_),
  };
  reset_out_header_a();
  reset_out_header_b();
}

void DevicePair::reset_out_header_a() {
  set_header(out_header_a, out_data_a.get(), out_buffer_bytes);
}
void DevicePair::reset_out_header_b() {
  set_header(out_header_b, out_data_b.get(), out_buffer_bytes);
}

int DevicePair::open_wave_out() {
  checked(Direction::output, answer_of([&] {
            return system_.open_output(output_device_id, out_wave_format, nullptr);
          }),
          "Could not handle the output WAVE format");
  std::unique_ptr<WaveOutStream> stream;
  const int result = checked(
      Direction::output,
      answer_of([&] { return system_.open_output(output_device_id, out_wave_format, &stream); }),
      "Error Opening Output wave device");
  wave_out = std::move(stream);
  if (wave_out) {
    notify_host(*wave_out);
    reports.release(Direction::output);
  }
  open_failed_[index_of(Direction::output)] = !wave_out;
  return result;
}

bool DevicePair::query_wave_out() {
  bool failed = false;
  const auto test = [this, &failed](int result) {
    if (result != wave_ok) {
      host_.report("Device Message", "Sound output device not compatible");
      failed = true;
    }
  };
  test(system_.open_output(output_device_id, out_wave_format, nullptr));
  std::unique_ptr<WaveOutStream> stream;
  test(system_.open_output(output_device_id, out_wave_format, &stream));
  return failed;
}

int DevicePair::prepare_out_a() {
  return checked(Direction::output, call_on(wave_out, &WaveOutStream::prepare, out_header_a),
                 "Error preparing the header_a");
}
int DevicePair::prepare_out_b() {
  return checked(Direction::output, call_on(wave_out, &WaveOutStream::prepare, out_header_b),
                 "Error preparing the header_b");
}

int DevicePair::write_out_a() { return call_on(wave_out, &WaveOutStream::write, out_header_a); }
int DevicePair::write_out_b() { return call_on(wave_out, &WaveOutStream::write, out_header_b); }

unsigned DevicePair::wait_out_a(const std::uint8_t& timeout) {
  return wait_out(out_header_a, timeout);
}
unsigned DevicePair::wait_out_b(const std::uint8_t& timeout) {
  return wait_out(out_header_b, timeout);
}

int DevicePair::reset_wave_out() {
  return checked(Direction::output, call_on(wave_out, &WaveOutStream::reset),
                 "Error Resetting the output wave device");
}

int DevicePair::unprepare_out_a() {
  return call_on(wave_out, &WaveOutStream::unprepare, out_header_a);
}
int DevicePair::unprepare_out_b() {
  return call_on(wave_out, &WaveOutStream::unprepare, out_header_b);
}

int DevicePair::close_wave_out() {
  reset_wave_out();
  checked(Direction::output, call_on(wave_out, &WaveOutStream::unprepare, out_header_a),
          "Error unpreparing the _a Header");
  checked(Direction::output, call_on(wave_out, &WaveOutStream::unprepare, out_header_b),
          "Error unpreparing the _b Header");
  const int closed = wave_out ? wave_ok : wave_invalid_handle;
  wave_out.reset();
  return checked(Direction::output, closed, "Error closing the output wave device");
}

}  // namespace audio
