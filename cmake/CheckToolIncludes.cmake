# Fails when a tool window (src/tools/*/qt) includes a header of the main
# window's layer (src/ui). Tool windows build on src/qtbase and the core only,
# so that they stay usable without the main window.
# Run as: cmake -DROOT=<source dir> -P CheckToolIncludes.cmake
file(GLOB_RECURSE sources "${ROOT}/src/tools/*/qt/*.cpp" "${ROOT}/src/tools/*/qt/*.h")
set(found "")
foreach(source ${sources})
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]ui/")
  foreach(line ${lines})
    file(RELATIVE_PATH name "${ROOT}" "${source}")
    string(APPEND found "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "Tool windows must not include src/ui headers:\n${found}")
endif()
