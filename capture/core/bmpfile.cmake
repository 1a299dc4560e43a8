# The snapshot bitmap written for the JPEG writer; joins target zx_capturecore.
# Writing the file itself differs per system.
if(WIN32)
    set(ZX_PRIVATEFILE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/privatefile_win.cpp)
else()
    set(ZX_PRIVATEFILE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/privatefile_posix.cpp)
endif()
set(ZX_BMPFILE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bmpfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bmpfile.h
    ${CMAKE_CURRENT_LIST_DIR}/privatefile.h
    ${ZX_PRIVATEFILE_SOURCE}
)
