# Installing as a desktop application: the program folder as one folder, a command
# that starts it, the menu entry, the icons and the AppStream metainfo; the Debian
# package (CPack) and the uninstall script lay or remove the same files.
set(QV_APP_ID example.quorvane.Request)
set(QV_INSTALL_PROGRAM_DIR lib/quorvane)  # under the prefix
set(QV_ICON_SIZES 16 22 24 32 48 64 128 256)
set(QV_INSTALLED_FILES "")  # every installed path, relative to the prefix

# The program folder: the executable, the adapter and the shipped files, as in build/program/.
install(TARGETS Quorvane_R encoder_adapter quorvane-convert RUNTIME DESTINATION ${QV_INSTALL_PROGRAM_DIR})
install(FILES dist/profile.txt dist/Readme.txt DESTINATION ${QV_INSTALL_PROGRAM_DIR})
list(APPEND QV_INSTALLED_FILES ${QV_INSTALL_PROGRAM_DIR}/Quorvane_R ${QV_INSTALL_PROGRAM_DIR}/ffmpeg
  ${QV_INSTALL_PROGRAM_DIR}/quorvane-convert
  ${QV_INSTALL_PROGRAM_DIR}/profile.txt ${QV_INSTALL_PROGRAM_DIR}/Readme.txt)

# The command: a relative link, so that it works under any prefix and DESTDIR; the
# program finds its real folder through /proc/self/exe.
set(QV_COMMAND_LINK ${CMAKE_BINARY_DIR}/install-files/quorvane)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-files)
file(CREATE_LINK ../${QV_INSTALL_PROGRAM_DIR}/Quorvane_R ${QV_COMMAND_LINK} SYMBOLIC)
# The tool for scripts and schedulers, linked the same way.
set(QV_TOOL_LINK ${CMAKE_BINARY_DIR}/install-files/quorvane-convert)
file(CREATE_LINK ../${QV_INSTALL_PROGRAM_DIR}/quorvane-convert ${QV_TOOL_LINK} SYMBOLIC)
install(FILES ${QV_COMMAND_LINK} ${QV_TOOL_LINK} DESTINATION bin)
list(APPEND QV_INSTALLED_FILES bin/quorvane bin/quorvane-convert)

# Menu entry and AppStream metainfo.
install(FILES dist/${QV_APP_ID}.desktop DESTINATION share/applications)
install(FILES dist/${QV_APP_ID}.metainfo.xml DESTINATION share/metainfo)
list(APPEND QV_INSTALLED_FILES share/applications/${QV_APP_ID}.desktop share/metainfo/${QV_APP_ID}.metainfo.xml)

# Icons: the drawing, and PNG sizes rendered from it at build time.
install(FILES dist/quorvane.svg DESTINATION share/icons/hicolor/scalable/apps RENAME ${QV_APP_ID}.svg)
list(APPEND QV_INSTALLED_FILES share/icons/hicolor/scalable/apps/${QV_APP_ID}.svg)
find_program(QV_RSVG_CONVERT rsvg-convert)
if(QV_RSVG_CONVERT)
  set(pngs "")
  foreach(size ${QV_ICON_SIZES})
    set(png ${CMAKE_BINARY_DIR}/icons/${size}/${QV_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
      COMMAND ${QV_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/dist/quorvane.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/dist/quorvane.svg
      COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
    list(APPEND pngs ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
    list(APPEND QV_INSTALLED_FILES share/icons/hicolor/${size}x${size}/apps/${QV_APP_ID}.png)
  endforeach()
  add_custom_target(icons ALL DEPENDS ${pngs})
else()
  message(WARNING "rsvg-convert not found (Debian: librsvg2-bin): the PNG icons are not installed")
endif()

# make uninstall: removes exactly these files under DESTDIR and the given prefix.
configure_file(${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake.in ${CMAKE_BINARY_DIR}/uninstall.cmake @ONLY)

# The Debian package (make package).
# The Makefile's install and package targets build first; cpack itself does not build
# again, so the package test never starts a build while other tests run.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvane developers")
set(CPACK_PACKAGE_CONTACT "Quorvane developers <maintainers@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch video conversion with FFmpeg")
set(CPACK_PACKAGE_DESCRIPTION "A small desktop window (Japanese interface) that converts many video files\n\
at once with the installed FFmpeg, control by control or by a named preset.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvane.example/)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries (Qt 6 widgets, libjpeg, the C++ runtime) from the binaries themselves;
# the encoder and a Japanese font by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, fonts-ipafont-gothic | fonts-japanese-gothic")
set(CPACK_STRIP_FILES ON)
include(CPack)
