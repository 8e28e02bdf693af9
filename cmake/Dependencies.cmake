# Third-party libraries, all from Debian packages (scripts/packages.txt).
find_package(SQLite3 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
# Qt's D-Bus module is built on libdbus; its own calls tell the process behind a private socket.
pkg_check_modules(LIBDBUS REQUIRED IMPORTED_TARGET dbus-1)
find_package(GTest REQUIRED)
# The names of countries in German and English.
find_package(ICU REQUIRED COMPONENTS uc)

# libphonenumber ships no CMake config: find header and library, and link protobuf with it.
find_package(Protobuf REQUIRED)
find_path(PHONENUMBER_INCLUDE_DIR phonenumbers/phonenumberutil.h REQUIRED)
find_library(PHONENUMBER_LIBRARY phonenumber REQUIRED)
add_library(phonenumber::phonenumber UNKNOWN IMPORTED)
set_target_properties(phonenumber::phonenumber PROPERTIES
    IMPORTED_LOCATION "${PHONENUMBER_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${PHONENUMBER_INCLUDE_DIR}")
target_link_libraries(phonenumber::phonenumber INTERFACE protobuf::libprotobuf)
