# Post-link check of the Windows program: cmake -DIMAGE=FILE -DLIMIT=BYTES -P this.
# The payload is appended at file offset 0x70000, so the image must end before
# it; the build fails well before that, and removes the image so that the next
# build links it again rather than taking it as up to date.
file(SIZE "${IMAGE}" size)
math(EXPR limit "${LIMIT}")
math(EXPR limit_hex "${LIMIT}" OUTPUT_FORMAT HEXADECIMAL)
if(size GREATER limit)
  file(REMOVE "${IMAGE}")
  message(FATAL_ERROR "${IMAGE}: ${size} bytes, over the limit of ${limit} bytes (${limit_hex}); "
    "the payload starts at 0x70000. scripts/image-size shows what takes the room.")
endif()
