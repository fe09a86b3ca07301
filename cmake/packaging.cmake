# Installing the Linux program and its Debian package (cmake --build --preset linux --target package
# writes qelmora_<version>_amd64.deb into the build directory).
#
# What goes where (GNUInstallDirs): the two programs in bin; the desktop entry, the shared-mime-info
# package of the model files, the icons of the program and of the model file type, the AppStream
# data; the manual pages; README, copyright and changelog in share/doc/qelmora. The package has no
# maintainer scripts: the desktop, MIME and icon caches are refreshed by the dpkg triggers that
# desktop-file-utils, shared-mime-info and hicolor-icon-theme declare on those folders.
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS qelmora qelmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Symbols bound at start-up, relocations read-only after it (as Debian's hardening asks).
foreach(program qelmora qelmora-cli)
  target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()
install(FILES ${packaging_dir}/qelmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_dir}/qelmora-mdl.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${packaging_dir}/io.github.qelmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32)
  # The same picture serves the program and its model files, as the association installs them.
  install(FILES ${PROJECT_SOURCE_DIR}/res/icon_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME qelmora.png)
  install(FILES ${PROJECT_SOURCE_DIR}/res/icon_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/mimetypes
          RENAME application-x-qelmora-mdl.png)
endforeach()

# Manual pages and the changelog compressed as Debian keeps them (gzip -9n: no name, no time stamp).
set(compressed "")
foreach(source qelmora.1 qelmora-cli.1 changelog)
  set(output ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${packaging_dir}/${source} ${output}
    DEPENDS ${packaging_dir}/${source}
    VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(qelmora_packaging_files ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/packaging/qelmora.1.gz ${CMAKE_BINARY_DIR}/packaging/qelmora-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${packaging_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "qelmora maintainers <maintainers@users.noreply.c-seed-6538772c.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries the programs link: the Qt platform plugins (the dialog on X11 and Wayland),
# Qt's own translations, and the tools the per-user association runs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, shared-mime-info, desktop-file-utils")
# xdg-utils reads the user's MIME database (the association written for .mdl) through
# File::MimeInfo on a desktop without GIO's MIME handling (a plain window manager); without it
# xdg-mime and xdg-open take a .mdl for text/plain.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libfile-mimeinfo-perl")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "parameter history and reports for impedance spectra")
set(CPACK_PACKAGE_DESCRIPTION
    "qelmora sits beside an equivalent-circuit fitting program for electrochemical
impedance spectroscopy (a series inductance L0, a series resistance R0 and
three R-CPE stages). Each fitted model file (.mdl) it imports becomes a new
row of a password-protected parameter history that only ever grows.

From the current parameter set it writes a spreadsheet report with each
stage's equivalent capacitance and characteristic frequency and the
polarisation resistance, or hands the set to a simulation program. It
registers itself for model files and puts a launcher on the desktop. The
interface is in Chinese; qelmora-cli does the same work without a display.")
include(CPack)
