# The snapshot bitmap written for the JPEG writer; joins target zx_capturecore.
set(ZX_BMPFILE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bmpfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bmpfile.h
)
