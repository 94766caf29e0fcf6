# The manual pages and the shell completions of vellumar-batch, written at build time from the options
# table by vellumar-manual, and where they are installed.
include(GNUInstallDirs)

set(vellumarManualDir ${PROJECT_BINARY_DIR}/manual)
set(vellumarManualFiles
    ${vellumarManualDir}/vellumar-batch.1
    ${vellumarManualDir}/vellumar.1
    ${vellumarManualDir}/vellumar-batch.bash
    ${vellumarManualDir}/_vellumar-batch
    ${vellumarManualDir}/vellumar-batch.fish)
add_custom_command(
    OUTPUT ${vellumarManualFiles}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${vellumarManualDir}
    COMMAND vellumar-manual ${PROJECT_VERSION} ${vellumarManualDir}
    DEPENDS vellumar-manual
    COMMENT "Writing the manual pages and shell completions"
    VERBATIM)
add_custom_target(vellumar_manual_files ALL DEPENDS ${vellumarManualFiles})

install(FILES ${vellumarManualDir}/vellumar-batch.1 ${vellumarManualDir}/vellumar.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${vellumarManualDir}/vellumar-batch.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vellumar-batch)
install(FILES ${vellumarManualDir}/_vellumar-batch DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${vellumarManualDir}/vellumar-batch.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
