# What an install puts beside the program (manual page, copyright, changelog) and the Debian
# package made of the whole install (./package). The program, menu entry, icons and AppStream
# description have their install rules where they are built.

# Debian wants manual pages and changelogs compressed; without names or times in the gzip
# header the package comes out the same on every build.
find_program(ORVANTH_GZIP gzip REQUIRED)
set(_docs_dir ${CMAKE_BINARY_DIR}/docs)

function(orvanth_gzipped source name)
  add_custom_command(
    OUTPUT ${_docs_dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${source} ${_docs_dir}/${name}
    COMMAND ${ORVANTH_GZIP} -9nf ${_docs_dir}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    VERBATIM)
endfunction()

orvanth_gzipped(docs/moons-of-orvanth.6 moons-of-orvanth.6)
orvanth_gzipped(packaging/changelog changelog)
add_custom_target(orvanth_docs ALL DEPENDS ${_docs_dir}/moons-of-orvanth.6.gz
                                           ${_docs_dir}/changelog.gz)
# ./run builds the viewer alone; an install right after it must find these too.
add_dependencies(moons-of-orvanth orvanth_docs)

install(FILES ${_docs_dir}/moons-of-orvanth.6.gz DESTINATION share/man/man6)
install(FILES packaging/copyright ${_docs_dir}/changelog.gz
        DESTINATION share/doc/moons-of-orvanth)

# The Debian package. Its dependencies are the packages of the libraries the program links
# (dpkg-shlibdeps), plus the image plugins that write TIFF screenshots, which the program
# loads at run time and so does not link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME moons-of-orvanth)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Talvoren Com Ltd.")
set(CPACK_PACKAGE_CONTACT "Talvoren Com Ltd. <packages@talvoren.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D viewer of the gas giant Orvanth and its four moons")
# The summary above becomes the description's first line.
set(CPACK_PACKAGE_DESCRIPTION
    "Moons of Orvanth shows the banded gas giant Orvanth and its moons Io, Europa,
Ganymede and Callisto as textured, lit globes against a starry sky. The planet
spins and the moons orbit it while you turn the view around it.
.
Orbit the camera with the mouse, the arrow keys or a touch screen, zoom with
the wheel, the keyboard or a two-finger pinch, pick a body from the button
panel or by pressing on it to read its name and facts, and save screenshots
of the view. It needs OpenGL 3.3 and runs on a software renderer when there
is no GPU.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.talvoren.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-image-formats-plugins)
# The viewer shows its window natively on a Wayland desktop with the toolkit's Wayland
# plugin; without it, it needs an X server (Xwayland on such a desktop).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
# The program is mostly the PNG bytes of its images, which nothing compresses further: gzip
# makes the same size as xz in a fifteenth of the time.
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_STRIP_FILES ON)
include(CPack)
