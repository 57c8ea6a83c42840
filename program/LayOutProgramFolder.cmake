# Run at build time with SOURCE_DIR and PROGRAM_DIR set.
file(MAKE_DIRECTORY ${PROGRAM_DIR}/zelhistory ${PROGRAM_DIR}/page.files)
# The help page is ours: keep it current.
file(COPY_FILE ${SOURCE_DIR}/help.htm ${PROGRAM_DIR}/help.htm ONLY_IF_DIFFERENT)
# The user's data: created empty on a fresh installation, never overwritten.
foreach(name links.txt stat.dat)
    if(NOT EXISTS ${PROGRAM_DIR}/${name})
        file(TOUCH ${PROGRAM_DIR}/${name})
    endif()
endforeach()
# A first start shows the help page until a page has been fetched.
if(NOT EXISTS ${PROGRAM_DIR}/page.htm)
    file(COPY_FILE ${SOURCE_DIR}/help.htm ${PROGRAM_DIR}/page.htm)
endif()
# First-start settings: designed window bounds, images on, full quality and
# colours, addresses kept for 30 days. Replaced by the program at every close.
if(NOT EXISTS ${PROGRAM_DIR}/nastr.dat)
    file(COPY_FILE ${SOURCE_DIR}/nastr.dat ${PROGRAM_DIR}/nastr.dat)
endif()
# No page fetched yet: a page size of 0.
if(NOT EXISTS ${PROGRAM_DIR}/inZel.dat)
    file(COPY_FILE ${SOURCE_DIR}/inZel.dat ${PROGRAM_DIR}/inZel.dat)
endif()
