# Builds each deliverable from one object library twice: the real build,
# linked with the Linux platform backend, and the simulated build, linked
# with libhwsim.so (one simulated server per process).
#
# Only the names listed in the deliverable's exports file leave a shared
# library: everything is compiled with hidden visibility and the linker gets
# a version script made from the list. A line of the list that contains "("
# is a C++ signature as c++filt prints it; any other line is a C name.

set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

function(srvfw_version_script exports_file out_file)
  file(STRINGS ${exports_file} lines)
  set(c_names "")
  set(cxx_names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(line MATCHES "\\(")
      string(APPEND cxx_names "      \"${line}\";\n")
    else()
      string(APPEND c_names "    ${line};\n")
    endif()
  endforeach()
  set(script "{\n  global:\n${c_names}")
  if(NOT cxx_names STREQUAL "")
    string(APPEND script "    extern \"C++\" {\n${cxx_names}    };\n")
  endif()
  string(APPEND script "  local: *;\n};\n")
  file(WRITE ${out_file} "${script}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${exports_file})
endfunction()

# srvfw_add_program(<name> MAIN <file> SOURCES ... [LIBS ...] [PCI])
#   build/<preset>/bin/<name> and build/<preset>/sim/bin/<name>
# The object library <name>_core holds all but main(), so that tests can run
# the program in-process.
function(srvfw_add_program name)
  cmake_parse_arguments(ARG "PCI" "MAIN" "SOURCES;LIBS" ${ARGN})
  add_library(${name}_core OBJECT ${ARG_SOURCES})
  target_link_libraries(${name}_core PUBLIC hw_interface ${ARG_LIBS})

  add_executable(${name} ${ARG_MAIN} $<TARGET_OBJECTS:${name}_core>)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} hw_linux)
  if(ARG_PCI)
    target_link_libraries(${name} PRIVATE hw_linux_pci)
  endif()

  if(TARGET hwsim)
    add_executable(${name}_sim ${ARG_MAIN} $<TARGET_OBJECTS:${name}_core>)
    target_link_libraries(${name}_sim PRIVATE ${ARG_LIBS} hwsim)
    set_target_properties(${name}_sim PROPERTIES
      OUTPUT_NAME ${name}
      RUNTIME_OUTPUT_DIRECTORY ${SRVFW_SIM_BIN_DIR})
  endif()
endfunction()

# srvfw_add_library(<name> OUTPUT <file name> EXPORTS <export lists> SOURCES ...
#                   [LIBS ...] [WHOLE <static libraries>] [PCI])
#   build/<preset>/lib/<file name> and build/<preset>/sim/lib/<file name>
function(srvfw_add_library name)
  cmake_parse_arguments(ARG "PCI" "OUTPUT" "EXPORTS;SOURCES;LIBS;WHOLE" ${ARGN})
  # The list is the library's own names followed by the fragments of the
  # shared pieces it carries, put together in the build tree.
  set(exports ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports)
  set(merged "")
  foreach(fragment IN LISTS ARG_EXPORTS)
    get_filename_component(fragment ${fragment} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(READ ${fragment} text)
    string(APPEND merged "${text}\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${fragment})
  endforeach()
  file(WRITE ${exports} "${merged}")
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  srvfw_version_script(${exports} ${script})

  add_library(${name}_core OBJECT ${ARG_SOURCES})
  target_link_libraries(${name}_core PUBLIC hw_interface ${ARG_LIBS})

  foreach(variant real sim)
    if(variant STREQUAL "real")
      set(target ${name})
      set(backend hw_linux)
      set(outdir ${SRVFW_LIB_DIR})
    else()
      if(NOT TARGET hwsim)
        continue()
      endif()
      set(target ${name}_sim)
      set(backend hwsim)
      set(outdir ${SRVFW_SIM_LIB_DIR})
    endif()
    add_library(${target} SHARED $<TARGET_OBJECTS:${name}_core>)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} ${backend})
    if(ARG_PCI AND variant STREQUAL "real")
      target_link_libraries(${target} PRIVATE hw_linux_pci)
    endif()
    # The shared pieces whose functions the library exports go in whole:
    # the linker would leave out a piece that nothing inside calls.
    foreach(whole IN LISTS ARG_WHOLE)
      target_link_options(${target} PRIVATE
        "SHELL:-Wl,--whole-archive $<TARGET_FILE:${whole}> -Wl,--no-whole-archive")
      add_dependencies(${target} ${whole})
    endforeach()
    target_link_options(${target} PRIVATE "LINKER:--version-script=${script}")
    # Every name a library needs must be found when it is linked, not when a
    # host loads it; clang's sanitizer runtimes are left for the executable
    # to bring, so sanitized builds cannot check this.
    if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
      target_link_options(${target} PRIVATE "LINKER:--no-undefined")
    endif()
    set_target_properties(${target} PROPERTIES
      PREFIX "" OUTPUT_NAME ${ARG_OUTPUT} SUFFIX ""
      LIBRARY_OUTPUT_DIRECTORY ${outdir}
      LINK_DEPENDS ${script})
  endforeach()

  if(SRVFW_TESTS)
    add_test(NAME exports.${name}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/build/check_exports.sh $<TARGET_FILE:${name}> ${exports})
    if(TARGET ${name}_sim)
      add_test(NAME exports.${name}_sim
        COMMAND ${CMAKE_SOURCE_DIR}/tests/build/check_exports.sh $<TARGET_FILE:${name}_sim> ${exports})
    endif()
  endif()
endfunction()
