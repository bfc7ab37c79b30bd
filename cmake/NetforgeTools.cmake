# netforge_add_tool(<name> <sources>...): a command-line tool of its own
# folder under tools/, linked against the library, with the project settings,
# and installed with the library. A tool's main() answers --version with
# Netforge::VersionLine (Common/Version.h). Every tool links the tool support
# library netforge_tool_support (tools/ToolSupport: what the tools share and
# the library does not need, such as ReplacedFile.h); the library itself
# never links it.
#
# Tools collect in the global property NETFORGE_TOOLS, which the install
# rules (cmake/NetforgeInstall.cmake) read, so adding a tool needs no other
# edit than its add_subdirectory line in the top-level CMakeLists.txt.
function(netforge_add_tool name)
  add_executable(${name} ${ARGN})
  netforge_target_settings(${name})
  target_link_libraries(${name} PRIVATE Netforge::netforge netforge_tool_support)
  set_property(GLOBAL APPEND PROPERTY NETFORGE_TOOLS ${name})
endfunction()
