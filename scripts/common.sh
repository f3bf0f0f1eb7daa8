# Shared by the run and test scripts: package installation and the build.

# Installs the Debian packages named that are not installed yet: with
# apt-get as root, through sudo otherwise.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Packages every build needs.
build_packages=(g++ make cmake qt6-base-dev portaudio19-dev libsamplerate0-dev libasound2-dev libjack-jackd2-dev
  libdbus-1-dev pkgconf)

# Packages scripts/package needs beside the build's: cpack's dpkg-deb,
# dpkg-shlibdeps and file, and lintian to check what it made.
package_packages=(dpkg-dev file lintian)

# Packages scripts/audio_rig needs: the sound server and its command-line
# clients, and the ALSA plugin that routes ALSA's default device to it.
audio_rig_packages=(pulseaudio pulseaudio-utils libasound2-plugins)

# Configures and builds into the folder given, with the CMake options given.
build_into() {
  local build_dir=$1
  shift
  echo "Configuring in $build_dir"
  cmake -S "$project_dir" -B "$build_dir" "$@" >"$build_dir.configure.log" 2>&1 ||
    { cat "$build_dir.configure.log"; return 1; }
  echo "Building ($(nproc) jobs)"
  cmake --build "$build_dir" -j "$(nproc)"
}
