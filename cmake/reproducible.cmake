# The same source gives the same bytes. Every time stamp that has to exist in
# what ships (the PE header, the help file, zip entries, files in the
# installer) is VELMO_EPOCH: SOURCE_DATE_EPOCH when set, else the time of the
# last commit. It is written to source-date-epoch in the build tree.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VELMO_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE VELMO_EPOCH
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # A new commit configures again, so that its time is used
  # (HEAD, the branch's ref where HEAD names one, and the packed refs)
  execute_process(COMMAND git symbolic-ref -q HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE branch
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(refs)
  foreach(ref HEAD packed-refs ${branch})
    list(APPEND refs --git-path ${ref})
  endforeach()
  execute_process(COMMAND git rev-parse --path-format=absolute ${refs}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_files ERROR_QUIET)
  string(REPLACE "\n" ";" git_files "${git_files}")
  foreach(file IN LISTS git_files)
    if(EXISTS "${file}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    endif()
  endforeach()
endif()
if(NOT VELMO_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No time for the build's time stamps outside a git checkout: "
                      "set SOURCE_DATE_EPOCH (seconds since 1970, e.g. the release commit's time)")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/source-date-epoch CONTENT "${VELMO_EPOCH}\n")

# The PE header's time stamp: GNU ld takes SOURCE_DATE_EPOCH from its
# environment. A new time changes the link command, so the programs link again
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELMO_EPOCH})
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_CXX_LINKER_LAUNCHER})
