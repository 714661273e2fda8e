# What ships beside VELMO.exe, made at build time: the wave files and the
# help file. The dist target packs them with the program into a zip and an
# installer for this build's architecture.

find_program(ESPEAK_NG espeak-ng REQUIRED)
find_program(SOX sox REQUIRED)
find_program(HALIBUT halibut REQUIRED)
find_program(ZIP zip REQUIRED)
find_program(MAKENSIS makensis REQUIRED)

set(VELMO_OUT ${CMAKE_BINARY_DIR})

# Wave files: one per line of resources/sounds.txt
set(sound_list ${CMAKE_SOURCE_DIR}/resources/sounds.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${sound_list})
file(STRINGS ${sound_list} sound_lines REGEX "^[^#\t ]")
set(sound_files)
foreach(line IN LISTS sound_lines)
  string(REGEX MATCH "^[^\t ]+" name "${line}")
  list(APPEND sound_files ${VELMO_OUT}/${name})
endforeach()
add_custom_command(OUTPUT ${sound_files}
  COMMAND sh ${CMAKE_SOURCE_DIR}/build-aux/mksounds.sh ${sound_list} ${VELMO_OUT}
  DEPENDS ${sound_list} build-aux/mksounds.sh
  COMMENT "Making the wave files")
add_custom_target(velmo_sounds ALL DEPENDS ${sound_files})

# WinHelp file and its contents list, for Windows before Vista; the viewer's
# caption is its title, its date the source's. The same help as HTML Help, for
# Vista and later. The help source's \programversion is the project's version.
set(help_files ${VELMO_OUT}/VELMO.HLP ${VELMO_OUT}/VELMO.cnt ${VELMO_OUT}/VELMO.chm)
set(help_version ${CMAKE_BINARY_DIR}/resources/version.but)
file(CONFIGURE OUTPUT ${help_version} CONTENT "\\define{programversion} ${PROJECT_VERSION}\n")
add_custom_command(OUTPUT ${help_files}
  COMMAND ${HALIBUT} --winhelp=${VELMO_OUT}/VELMO.HLP --chm=${VELMO_OUT}/VELMO.chm
          ${help_version} ${CMAKE_SOURCE_DIR}/resources/velmo.but
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/build-aux/hlp31.py ${VELMO_OUT}/VELMO.HLP ${VELMO_EPOCH}
  DEPENDS resources/velmo.but ${help_version} ${CMAKE_BINARY_DIR}/source-date-epoch build-aux/hlp31.py
  COMMENT "Making VELMO.HLP and VELMO.chm")
add_custom_target(velmo_help ALL DEPENDS ${help_files})

# Building the program builds what it plays and opens
add_dependencies(VELMO velmo_sounds velmo_help)

# dist: VELMO-<version>-<arch>.zip and VELMO-<version>-<arch>-setup.exe
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VELMO_ARCH win64)
  set(VELMO_REQUIRES "64-bit Windows XP or later on an x64 processor.")
else()
  set(VELMO_ARCH win32)
  # The program is built for the 80386 with an 80387 (README.md, "The processor it needs")
  set(VELMO_REQUIRES "Windows 3.1 with Win32s, Windows NT 3.51, Windows 95 or any later\r\n  Windows, 32-bit or 64-bit, on an 80386 with an 80387 or any later processor.")
endif()
set(package VELMO-${PROJECT_VERSION}-${VELMO_ARCH})
set(packages ${CMAKE_BINARY_DIR}/packages)
set(VELMO_ZIP ${packages}/${package}.zip)
set(VELMO_SETUP ${packages}/${package}-setup.exe)
file(MAKE_DIRECTORY ${packages})

# Texts for Windows users: CRLF line ends. CHANGES.TXT is CHANGELOG.md, under a name
# that Windows 3.1 takes
configure_file(resources/readme.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(CHANGELOG.md ${CMAKE_BINARY_DIR}/CHANGES.TXT @ONLY NEWLINE_STYLE CRLF)

# Where the release's packages are served from: those of version V at
# VELMO_RELEASE_URL/V/, with CHANGELOG.md beside them. The winget and Scoop
# manifests that tools/dist.sh writes name them there (build-aux/manifests.py)
set(VELMO_RELEASE_URL "https://downloads.mondrel.example/velmo" CACHE STRING
    "Address under which each release's folder (build/release) is served, as URL/VERSION/")
set(VELMO_HOMEPAGE "https://www.mondrel.example/velmo/" CACHE STRING "VELMO 2's home page, named in the manifests")
file(CONFIGURE OUTPUT ${packages}/release.json @ONLY CONTENT [[
{
  "version": "@PROJECT_VERSION@",
  "arch": "@VELMO_ARCH@",
  "url": "@VELMO_RELEASE_URL@",
  "homepage": "@VELMO_HOMEPAGE@",
  "epoch": @VELMO_EPOCH@
}
]])

# Packed again at every dist, so that signing follows VELMO_SIGN_PFX as it is
# now. The signing test packs the same files into a folder of its own:
# ${VELMO_PACK} FOLDER ${VELMO_PACK_ARGS}
set(VELMO_PACK ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELMO_EPOCH} sh ${CMAKE_SOURCE_DIR}/build-aux/pack.sh)
set(VELMO_PACK_ARGS ${package} ${CMAKE_SOURCE_DIR}/resources/setup.nsi ${VELMO_ICON} ${VELMO_ARCH} ${PROJECT_VERSION}
    $<TARGET_FILE:VELMO> ${help_files} ${sound_files} ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt ${CMAKE_BINARY_DIR}/CHANGES.TXT)
add_custom_target(dist
  COMMAND ${VELMO_PACK} ${packages} ${VELMO_PACK_ARGS}
  BYPRODUCTS ${VELMO_ZIP} ${VELMO_SETUP} ${packages}/SHA256SUMS
  DEPENDS ${help_files} ${sound_files} ${VELMO_ICON} ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt
          ${CMAKE_BINARY_DIR}/CHANGES.TXT
  COMMENT "Packing ${package}.zip and ${package}-setup.exe")
add_dependencies(dist VELMO)
