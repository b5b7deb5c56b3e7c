# The X11 backend of the CoreGraphics interface: displays and their changes
# through RandR, windows through Composite and MIT-SHM, mouse events through
# XTest. Linking needs only the client libraries, never a running server.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-randr xcb-composite xcb-xtest xcb-shm)
target_link_libraries(vx_devices PUBLIC PkgConfig::XCB)
