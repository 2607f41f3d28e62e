# Builds the installer of one application folder with makensis. Run with
# -DDIST=<application folder> -DNSI=<script> -DICON=<.ico> -DVERSION=<x.y.z>
# -DPUBLISHER=<name> -DARCH=x64|x86 -DOUT=<setup.exe> -DWORK=<scratch folder>.
# The lists of what to install and what to remove are taken from the folder
# itself, so whatever it holds is shipped and nothing else is ever deleted.
file(GLOB_RECURSE entries RELATIVE ${DIST} LIST_DIRECTORIES true ${DIST}/*)
list(SORT entries)
# A log or uninstaller left in the folder by a test run is not ours to ship.
list(REMOVE_ITEM entries log.txt Uninstall.exe)

set(install "!macro QW_INSTALL_FILES\n")
set(remove "!macro QW_REMOVE_FILES\n")
set(folders "")
set(bytes 0)
foreach(entry IN LISTS entries)
    string(REPLACE "/" "\\" windows "${entry}")
    if(IS_DIRECTORY ${DIST}/${entry})
        string(APPEND install "    CreateDirectory \"$INSTDIR\\${windows}\"\n")
        list(PREPEND folders "${windows}")
        continue()
    endif()
    get_filename_component(parent "${windows}" DIRECTORY)
    if(parent)
        set(parent "\\${parent}")
    endif()
    string(APPEND install "    SetOutPath \"$INSTDIR${parent}\"\n    File \"${DIST}/${entry}\"\n")
    # A DLL Explorer still holds goes at the next restart.
    string(APPEND remove "    Delete /REBOOTOK \"$INSTDIR\\${windows}\"\n")
    file(SIZE ${DIST}/${entry} size)
    math(EXPR bytes "${bytes} + ${size}")
endforeach()
# Deepest first: a folder goes only once it is empty.
foreach(folder IN LISTS folders)
    string(APPEND remove "    RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
string(APPEND install "    SetOutPath \"$INSTDIR\"\n!macroend\n")
string(APPEND remove "!macroend\n")
# Taskloom.dll once more in the system folder.
file(SIZE ${DIST}/Taskloom.dll size)
math(EXPR kilobytes "(${bytes} + ${size} + 1023) / 1024")

file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/files-${ARCH}.nsh "${install}${remove}")
execute_process(
    COMMAND makensis -V2 -DQW_VERSION=${VERSION} -DQW_PUBLISHER=${PUBLISHER} -DQW_ARCH=${ARCH}
        -DQW_DIST=${DIST} -DQW_FILES=${WORK}/files-${ARCH}.nsh -DQW_SIZE_KB=${kilobytes}
        -DQW_ICON=${ICON} -DQW_OUT=${OUT} ${NSI}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "makensis failed (${result})")
endif()
