# writer_bench: the JPEG writer, stage by stage, against cjpeg and against
# TurboJPEG compressing from memory. Run by hand; it prints its figures.
add_executable(writer_bench ${CMAKE_CURRENT_LIST_DIR}/writer_bench.cpp)
target_link_libraries(writer_bench PRIVATE
    zx_jpegwriter
    zx_jpegwriter_impl # the read and encode stages on their own
    zx_capturecore
    zx_turbojpeg
)
