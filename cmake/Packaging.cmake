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
set(CPACK_PACKAGE_CONTACT "Fennwick <murvex@fennwick.dev>")
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
else()
  # Configures a file from source into the build tree and compresses it as
  # Debian keeps such files (gzip -9, no name or time stored); the result's
  # path in <result>.
  function(murvex_compressed target source result)
    get_filename_component(name ${source} NAME_WLE)
    set(plain ${CMAKE_BINARY_DIR}/debian/${name})
    configure_file(${source} ${plain} @ONLY)
    add_custom_command(OUTPUT ${plain}.gz
      COMMAND gzip -9 -n -k -f ${plain}
      DEPENDS ${plain}
      COMMENT "Compressing ${name}")
    add_custom_target(${target} ALL DEPENDS ${plain}.gz)
    set(${result} ${plain}.gz PARENT_SCOPE)
  endfunction()

  # murvex and its manual page; Debian's copyright file (machine-readable,
  # the licence text from LICENSE) and changelog.
  install(TARGETS murvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  murvex_compressed(murvex_man_page ${CMAKE_SOURCE_DIR}/docs/murvex.1.in man_page)
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The licence after its copyright line, each line indented by one blank,
  # an empty line written as " ." (the copyright format's rule).
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
  string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" license "${license}")
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " MURVEX_LICENSE_TEXT " ${license}")
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/murvex)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/copyright.in ${CMAKE_BINARY_DIR}/debian/copyright @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/debian/copyright DESTINATION ${doc_dir})
  murvex_compressed(murvex_changelog ${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in changelog)
  install(FILES ${changelog} DESTINATION ${doc_dir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME murvex)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # murvex FILE1 FILE2 ... opens the files in tmux panes.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS tmux)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch a text file and show its new and changed lines")
  set(CPACK_PACKAGE_DESCRIPTION "murvex lists a text file with line numbers in the terminal, then prints
only the lines that are new or changed, highlighted, and lists the file
again when it shrinks, empties or is replaced. It reads Shift-JIS,
UTF-8 and UTF-16LE files. Several files open side by side in tmux.")
endif()

include(CPack)
