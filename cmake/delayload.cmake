# WINMM is loaded on the first sound, not at start-up: under Wine it brings
# OLE32 and MSACM32 with it, which cost start-up time and memory while sound
# is off. VELMO_WINMM is a delay-load import library made here with dlltool.
string(REGEX REPLACE "g\\+\\+[^/]*$" "dlltool" VELMO_DLLTOOL "${CMAKE_CXX_COMPILER}")
set(VELMO_WINMM ${CMAKE_BINARY_DIR}/libwinmm-delay.a)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(exports "sndPlaySoundA@8")
  set(undecorate --kill-at)
else()
  set(exports "sndPlaySoundA")
  set(undecorate "")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/winmm-delay.def "LIBRARY WINMM.dll\nEXPORTS\n${exports}\n")
execute_process(
  COMMAND ${VELMO_DLLTOOL} --input-def ${CMAKE_BINARY_DIR}/winmm-delay.def --dllname WINMM.dll
          ${undecorate} --output-delaylib ${VELMO_WINMM}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${VELMO_DLLTOOL} could not make ${VELMO_WINMM}")
endif()
