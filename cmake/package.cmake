# make package: a Debian package of the program and its desktop files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "The Kelvane developers")
set(CPACK_PACKAGE_CONTACT "The Kelvane developers <maintainers@kelvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for Velmora rail simulator meshes and rolling stock")
# The extended description; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvane shows the 3D content of the Velmora rail simulator: a single
indexed or progressive mesh, or a whole rolling-stock asset put together
from its body meshes, bogeys and pantographs and stood on a piece of track.
It reads the bounding box, polygon count and attachment points, finds the
objects that use a texture and saves thumbnails. File managers show
previews of mesh and texture files through its thumbnailer.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelvane.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The GL drivers are picked at run time; the help page opens through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, libegl-mesa0, xdg-utils")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
