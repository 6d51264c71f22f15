# Install rules and the package `cmake --build --preset ... --target package`
# writes: on Windows Vexmeta-<version>-win64.zip, flat, with the plugin and the
# pluginst.inf a file manager looks for when it opens a plugin archive, and the
# property handler VexmetaShell.dll; on Linux
# vexmeta_<version>_<arch>.deb with the plugin where the Linux file manager
# looks for content plugins, the host tool, its manual page and README.Debian
# (how to add the plugin and its columns to the file manager), and beside it
# vexmeta-kde_<version>_<arch>.deb with the KDE extractor when that is built,
# vexmeta-nautilus, vexmeta-nemo and vexmeta-caja with the file manager
# extensions that are built, vexmeta-thunar with Thunar's module, and
# vexmeta-tracker with the desktop search's extract module when that is built.
set(VX_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(VX_PACKAGE_STAGE "${PROJECT_BINARY_DIR}/packaging")
set(VX_PACKAGE_CONTACT "The Vexmeta developers <developers@vexmeta.example>")

set(CPACK_PACKAGE_NAME "Vexmeta")
set(CPACK_PACKAGE_VENDOR "The Vexmeta developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SVG drawing details as file manager columns")
set(CPACK_PACKAGE_CONTACT "${VX_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://vexmeta.example/")
set(CPACK_STRIP_FILES ON)
# What is installed without naming a component belongs to the main package.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME vexmeta)
# Folders in the packages are 0755 whatever the umask of the packaging shell.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(VX_PLATFORM_WIN32)
  # Text files get CRLF line ends for Windows editors; Vexmeta.lng has them in
  # the tree already.
  foreach(source pluginst.inf.in Vexmeta.ini.example readme.txt ../LICENSE)
    get_filename_component(name "${source}" NAME)
    string(REGEX REPLACE "\\.in$" "" name "${name}")
    if(name STREQUAL "LICENSE")
      set(name LICENSE.txt)
    endif()
    configure_file("${VX_PACKAGING_DIR}/${source}" "${VX_PACKAGE_STAGE}/${name}" @ONLY
                   NEWLINE_STYLE CRLF)
    install(FILES "${VX_PACKAGE_STAGE}/${name}" DESTINATION .)
  endforeach()
  # A MODULE library installs as a LIBRARY, also when it is a DLL. The property
  # handler for Explorer comes along, for registering by hand (readme.txt); its
  # MSI is made beside the archive.
  install(TARGETS Vexmeta LIBRARY DESTINATION .)
  install(TARGETS vexmeta_shell LIBRARY DESTINATION .)
  install(FILES "${VX_PACKAGING_DIR}/Vexmeta.lng" DESTINATION .)

  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "Vexmeta-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # Paths relative to the prefix the DEB generator installs into, /usr.
  set(plugin_dir "lib/doublecmd/plugins/wdx/vexmeta")
  set(doc_dir "share/doc/vexmeta")
  # The installed tool finds the plugin there when none is beside it.
  target_compile_definitions(vexmeta PRIVATE
                             VX_INSTALLED_PLUGIN="/usr/${plugin_dir}/Vexmeta.wdx64")

  file(STRINGS "${VX_PACKAGING_DIR}/debian/changelog" changelog_head LIMIT_COUNT 1)
  if(NOT changelog_head MATCHES "^vexmeta \\(${PROJECT_VERSION}\\) ")
    message(WARNING "packaging/debian/changelog has no entry for version ${PROJECT_VERSION} "
                    "at its top; add one before building the Debian package.")
  endif()

  # The manual page and the changelog compressed as Debian wants them: gzip -9,
  # without name or time stamp. Editing either configures again.
  find_program(VX_GZIP gzip REQUIRED)
  foreach(source vexmeta.1 debian/changelog)
    get_filename_component(name "${source}" NAME)
    configure_file("${VX_PACKAGING_DIR}/${source}" "${VX_PACKAGE_STAGE}/${name}" @ONLY)
    execute_process(COMMAND "${VX_GZIP}" -9 -n -f "${VX_PACKAGE_STAGE}/${name}"
                    RESULT_VARIABLE gzip_status)
    if(NOT gzip_status EQUAL 0)
      message(FATAL_ERROR "gzip ${name} failed: ${gzip_status}")
    endif()
  endforeach()

  # A shared object in a Debian package is 0644, a plugin too.
  install(TARGETS Vexmeta LIBRARY DESTINATION "${plugin_dir}"
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES "${VX_PACKAGING_DIR}/Vexmeta.lng" DESTINATION "${plugin_dir}")
  install(TARGETS vexmeta RUNTIME DESTINATION bin)
  install(FILES "${VX_PACKAGE_STAGE}/vexmeta.1.gz" DESTINATION share/man/man1)
  install(FILES "${VX_PACKAGING_DIR}/debian/copyright" "${VX_PACKAGE_STAGE}/changelog.gz"
                "${VX_PACKAGING_DIR}/debian/README.Debian"
          DESTINATION "${doc_dir}")
  install(FILES "${VX_PACKAGING_DIR}/Vexmeta.ini.example" DESTINATION "${doc_dir}/examples")

  # The KDE extractor goes into Qt's plugin folder, in a package of its own so
  # that the main package never pulls in Qt; its documents are the project's.
  if(TARGET vexmeta_kde)
    set(qt_plugin_dir "lib/${CMAKE_LIBRARY_ARCHITECTURE}/qt5/plugins")
    if(TARGET Qt5::qmake)
      get_target_property(qmake Qt5::qmake IMPORTED_LOCATION)
      execute_process(COMMAND "${qmake}" -query QT_INSTALL_PLUGINS
                      OUTPUT_VARIABLE qt_plugins OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE qmake_status)
      if(qmake_status EQUAL 0 AND qt_plugins MATCHES "^/usr/(.+)$")
        set(qt_plugin_dir "${CMAKE_MATCH_1}")
      endif()
    endif()
    install(TARGETS vexmeta_kde LIBRARY DESTINATION "${qt_plugin_dir}/kf5/kfilemetadata"
            COMPONENT kde PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    install(FILES "${VX_PACKAGING_DIR}/debian/copyright" "${VX_PACKAGE_STAGE}/changelog.gz"
            DESTINATION share/doc/vexmeta-kde COMPONENT kde)
    # Makes a compressed drawing's type a kind of ZIP archive, so that the desktop
    # indexer, which types files by content, still gives ZIP-wrapped .svgz files
    # to the extractor; the shared MIME database's trigger rebuilds the database.
    install(FILES "${VX_PACKAGING_DIR}/vexmeta-kde-mime.xml" DESTINATION share/mime/packages
            RENAME vexmeta-kde.xml COMPONENT kde)
  endif()

  # Each file manager extension goes into the folder its file manager's
  # extension library names, in a package of its own, so that the main package
  # never pulls in GTK.
  foreach(fm IN LISTS VX_FILES_BUILT)
    string(TOUPPER "${fm}" FM)
    string(REGEX REPLACE "^/usr/" "" extension_dir "${VX_FILES_${FM}_EXTENSION_DIR}")
    install(TARGETS vexmeta_${fm} LIBRARY DESTINATION "${extension_dir}" COMPONENT ${fm}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    install(FILES "${VX_PACKAGING_DIR}/debian/copyright" "${VX_PACKAGE_STAGE}/changelog.gz"
            DESTINATION share/doc/vexmeta-${fm} COMPONENT ${fm})
  endforeach()
  # Thunar's module goes into the folder thunarx-3 names, likewise.
  if(TARGET vexmeta_thunar)
    string(REGEX REPLACE "^/usr/" "" extension_dir "${VX_THUNAR_EXTENSION_DIR}")
    install(TARGETS vexmeta_thunar LIBRARY DESTINATION "${extension_dir}" COMPONENT thunar
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    install(FILES "${VX_PACKAGING_DIR}/debian/copyright" "${VX_PACKAGE_STAGE}/changelog.gz"
            DESTINATION share/doc/vexmeta-thunar COMPONENT thunar)
  endif()

  # The desktop search's extract module goes where the extractor loads modules
  # from, its rule where it reads rules, in a package of its own.
  if(TARGET vexmeta_tracker)
    install(TARGETS vexmeta_tracker LIBRARY DESTINATION "${VX_TRACKER_MODULE_DIR}"
            COMPONENT tracker PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    install(FILES "${VX_TRACKER_RULE}" DESTINATION "${VX_TRACKER_RULES_DIR}" COMPONENT tracker)
    install(FILES "${VX_PACKAGING_DIR}/debian/copyright" "${VX_PACKAGE_STAGE}/changelog.gz"
            DESTINATION share/doc/vexmeta-tracker COMPONENT tracker)
  endif()

  set(CPACK_GENERATOR "DEB")
  # One package per component: vexmeta, and vexmeta-kde, vexmeta-nautilus,
  # vexmeta-nemo, vexmeta-caja, vexmeta-thunar and vexmeta-tracker when they
  # are built.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_PACKAGE_NAME "vexmeta")
  set(CPACK_DEBIAN_VEXMETA_PACKAGE_NAME "vexmeta")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
  # Depends from what the binaries link: libc, libstdc++, ICU and zlib.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_ENHANCES "doublecmd-gtk, doublecmd-qt")
  # Each package's description begins with a synopsis of its own; without this
  # CPack would put the one summary above both.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "SVG drawing details as file manager columns\n"
      "Vexmeta is a content plugin for file managers that load Linux shared\n"
      "objects with the content plugin interface. For every .svg and .svgz\n"
      "file it shows sixteen fields read from the drawing: its SVG version,\n"
      "the program that made it, width, height and viewBox as written and in\n"
      "whole pixels, whether it embeds a raster image, editor details and the\n"
      "title, description and date of its metadata.\n"
      "\n"
      "The package also holds vexmeta, a command-line tool that loads the plugin\n"
      "as a file manager does and prints the fields of files and folders as a\n"
      "table, JSON or CSV.")
  set(CPACK_DEBIAN_KDE_PACKAGE_NAME "vexmeta-kde")
  set(CPACK_DEBIAN_KDE_PACKAGE_SECTION "kde")
  set(CPACK_DEBIAN_KDE_PACKAGE_ENHANCES "libkf5filemetadata3, baloo-kf5")
  string(CONCAT CPACK_DEBIAN_KDE_DESCRIPTION
      "SVG drawing details for KDE's file manager and desktop search\n"
      "This package holds Vexmeta's extractor for KDE's file-metadata framework.\n"
      "For every .svg and .svgz file it gives the framework the drawing's width\n"
      "and height in pixels, the program that made it and the date of its\n"
      "metadata, and for .svgz files also the title and description. KDE's file\n"
      "manager shows them in its Details view and information panel, and the\n"
      "desktop search index keeps them.")
  set(CPACK_DEBIAN_TRACKER_PACKAGE_NAME "vexmeta-tracker")
  set(CPACK_DEBIAN_TRACKER_PACKAGE_SECTION "gnome")
  set(CPACK_DEBIAN_TRACKER_PACKAGE_ENHANCES "tracker-extract")
  string(CONCAT CPACK_DEBIAN_TRACKER_DESCRIPTION
      "SVG drawing details for GNOME's desktop search\n"
      "This package holds Vexmeta's extract module for the desktop search's\n"
      "extractor (tracker-extract). For every .svg and .svgz file it gives the\n"
      "search index the drawing's width and height in pixels, its title,\n"
      "description, the program that made it and the date of its metadata, so\n"
      "that GNOME's search finds drawings by them.")
  # component, short name, long name, file manager package, section
  set(file_managers "nautilus\;GNOME Files\;GNOME Files (Nautilus)\;nautilus\;gnome"
                    "nemo\;Nemo\;Nemo, the Cinnamon file manager\;nemo\;x11"
                    "caja\;Caja\;Caja, the MATE file manager\;caja\;x11")
  foreach(entry IN LISTS file_managers)
    list(GET entry 0 fm)
    list(GET entry 1 short_name)
    list(GET entry 2 long_name)
    list(GET entry 3 enhances)
    list(GET entry 4 section)
    string(TOUPPER "${fm}" FM)
    set(CPACK_DEBIAN_${FM}_PACKAGE_NAME "vexmeta-${fm}")
    set(CPACK_DEBIAN_${FM}_PACKAGE_SECTION "${section}")
    set(CPACK_DEBIAN_${FM}_PACKAGE_ENHANCES "${enhances}")
    string(CONCAT CPACK_DEBIAN_${FM}_DESCRIPTION
        "SVG drawing details as list-view columns in ${short_name}\n"
        "This package holds Vexmeta's extension for ${long_name}.\n"
        "It adds columns to the list view for .svg and .svgz drawings: width and\n"
        "height in pixels at 96 dpi and both as dimensions, the SVG version, the\n"
        "program that made the drawing, width, height and viewBox as written,\n"
        "whether it embeds a raster image, editor details and the title,\n"
        "description and date of its metadata. They are picked under Visible\n"
        "Columns. The properties dialog of a drawing gets a Drawing page with\n"
        "the same facts.")
  endforeach()
  set(CPACK_DEBIAN_THUNAR_PACKAGE_NAME "vexmeta-thunar")
  set(CPACK_DEBIAN_THUNAR_PACKAGE_SECTION "xfce")
  set(CPACK_DEBIAN_THUNAR_PACKAGE_ENHANCES "thunar")
  string(CONCAT CPACK_DEBIAN_THUNAR_DESCRIPTION
      "SVG drawing details in Thunar's properties dialog\n"
      "This package holds Vexmeta's module for Thunar, the Xfce file manager.\n"
      "The properties dialog of a .svg or .svgz drawing gets a Drawing page:\n"
      "its size in pixels at 96 dpi, the SVG version, the program that made\n"
      "it, width, height and viewBox as written, whether it embeds a raster\n"
      "image, editor details and the title, description and date of its\n"
      "metadata.")
endif()

include(CPack)
