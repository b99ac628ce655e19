# The installed layout (`cmake --install`, prefix /usr for the package): the programs in bin, the manual, the
# judge script and the sample list in share/zandel (where the Help command finds the manual when there is none
# beside the program), and what a desktop needs to list and start Zandel.
include(GNUInstallDirs)
set(ZANDEL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/zandel)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/manual/ DESTINATION ${ZANDEL_DATA_DIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/res/envchk.cgi ${PROJECT_SOURCE_DIR}/res/zandel-judge.cgi DESTINATION ${ZANDEL_DATA_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/res/sample/proxies.txt DESTINATION ${ZANDEL_DATA_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/res/man/zandel.1 ${PROJECT_SOURCE_DIR}/res/man/zandel-check.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(ZANDEL_BUILD_UI)
    install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/org.zandel.Zandel.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/org.zandel.Zandel.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/svg/zandel.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # Every size rendered (res/desktop/icons/zandel-<size>.png); the window's icon carries the same ones.
    file(GLOB ZANDEL_ICON_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/desktop/icons/zandel-*.png)
    foreach(icon ${ZANDEL_ICON_FILES})
        string(REGEX REPLACE "^.*/zandel-([0-9]+)\\.png$" "\\1" size ${icon})
        install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zandel.png)
    endforeach()
endif()
