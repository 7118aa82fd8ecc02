# Release artefacts, all carrying the project's version: the Windows
# programs' version resources and their zip; murvex's installation and its
# Debian package.
include(GNUInstallDirs)

# Adds a version resource to a Windows program.
function(murvex_version_resource target description_en description_ja)
  get_target_property(VERSION_NAME ${target} OUTPUT_NAME)
  if(NOT VERSION_NAME)
    set(VERSION_NAME ${target})
  endif()
  set(VERSION_DESCRIPTION_EN "${description_en}")
  set(VERSION_DESCRIPTION_JA "${description_ja}")
  set(rc "${CMAKE_BINARY_DIR}/version/${target}Version.rc")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

if(WIN32)
  murvex_version_resource(MURVEX "Real-time text file monitor (console)" "テキストファイルのリアルタイム監視（コンソール）")
  murvex_version_resource(Kestrin "Real-time text file monitor manager" "リアルタイムファイル監視")
endif()

set(CPACK_PACKAGE_VENDOR "Fennwick")
set(CPACK_PACKAGE_CONTACT "Fennwick")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One folder holding both programs (the manager starts the monitor from
  # its own folder) and a read-me that Notepad shows right: UTF-8 with a
  # byte order mark, CR LF.
  install(TARGETS MURVEX Kestrin RUNTIME DESTINATION .)
  configure_file(${CMAKE_SOURCE_DIR}/docs/README-Windows.txt ${CMAKE_BINARY_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win64")
endif()

include(CPack)
