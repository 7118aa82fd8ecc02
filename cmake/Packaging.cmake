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
