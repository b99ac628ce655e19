# Sourced by the scripts that build what the package ships: Debian's hardening flags, as a package built by
# Debian's own tools would have them, as arguments for CMake's configuration (needs dpkg-dev).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
hardening_args=(
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
)
