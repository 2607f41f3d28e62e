# Lays out the application folder: the binaries, then Lang\, Mask\ and HLP\
# from data/. Run with -DDIST=<folder> -DDATA=<data folder> -DBINARIES=<a;b>.
file(MAKE_DIRECTORY ${DIST}/Lang ${DIST}/Mask ${DIST}/HLP)
foreach(binary IN LISTS BINARIES)
    file(COPY ${binary} DESTINATION ${DIST})
endforeach()
foreach(folder Lang Mask HLP)
    if(IS_DIRECTORY ${DATA}/${folder})
        file(COPY ${DATA}/${folder}/ DESTINATION ${DIST}/${folder})
    endif()
endforeach()
