# Lays out the application folder: the binaries, then Lang\, Mask\ and HLP\
# from data/, and the compiled help file in HLP\. Run with -DDIST=<folder>
# -DDATA=<data folder> -DBINARIES=<a;b> -DHELP=<Quellwipe.chm>.
# HLP\ is laid out anew: a page that left data/HLP must not stay behind and
# be shipped by the installer, which takes whatever the folder holds.
file(REMOVE_RECURSE ${DIST}/HLP)
file(MAKE_DIRECTORY ${DIST}/Lang ${DIST}/Mask ${DIST}/HLP)
foreach(binary IN LISTS BINARIES)
    file(COPY ${binary} DESTINATION ${DIST})
endforeach()
foreach(folder Lang Mask HLP)
    if(IS_DIRECTORY ${DATA}/${folder})
        file(COPY ${DATA}/${folder}/ DESTINATION ${DIST}/${folder})
    endif()
endforeach()
file(COPY ${HELP} DESTINATION ${DIST}/HLP)
