# The system app's detection script names the release it belongs to, so that
# a newer release counts as not installed until it is: that version must be
# the one in VERSION. Run at configure time and as a test:
#   cmake -DQUILLMEND_SOURCE_DIR=<checkout> -P cmake/detection_version.cmake
if(NOT QUILLMEND_SOURCE_DIR)
  set(QUILLMEND_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
file(STRINGS ${QUILLMEND_SOURCE_DIR}/VERSION quillmend_release LIMIT_COUNT 1)
file(STRINGS ${QUILLMEND_SOURCE_DIR}/deploy/quillmend-detect-registry.ps1 quillmend_line
     REGEX "^\\$release = \\[version\\]'[0-9.]+'")
string(REGEX REPLACE "^\\$release = \\[version\\]'([0-9.]+)'.*" "\\1" quillmend_carried "${quillmend_line}")
if(NOT quillmend_carried STREQUAL quillmend_release)
  message(FATAL_ERROR "deploy/quillmend-detect-registry.ps1 carries release '${quillmend_carried}', VERSION says "
                      "'${quillmend_release}': set the script's $release to the VERSION")
endif()
if(CMAKE_SCRIPT_MODE_FILE)
  message("the detection script carries release ${quillmend_carried}, as VERSION does")
endif()
