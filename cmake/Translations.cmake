# The windows' translations: lupdate reads the windows' sources and layouts into resources/translations/*.ts
# (the update_translations target, see tools/translations.sh), and lrelease builds each into the windows'
# resources as :/i18n/vellumar_LANG.qm. The core and vellumar-batch are not translated: their text is a record.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

file(GLOB vellumarTranslatedSources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/mainwindow/*.cpp
    ${PROJECT_SOURCE_DIR}/overlay/dialog/*.cpp
    ${PROJECT_SOURCE_DIR}/widgets/*.cpp
    ${PROJECT_SOURCE_DIR}/resources/ui/*.ui)
qt_add_translations(vellumar_ui
    TS_FILES ${PROJECT_SOURCE_DIR}/resources/translations/vellumar_de.ts
    SOURCES ${vellumarTranslatedSources}
    LUPDATE_OPTIONS -no-obsolete -locations none)
