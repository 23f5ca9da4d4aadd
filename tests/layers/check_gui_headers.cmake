# Fails when a file of a layer below src/ui includes a Qt Gui or Widgets
# header, in any spelling (<QIcon>, <QtGui/QIcon>, "QtWidgets/qmenu.h",
# <QtGui>). Those layers must build and test without a display.
#
#   cmake -DQT_HEADERS=<Qt include root> -DFOLDERS="<dir>;<dir>" -P check_gui_headers.cmake

cmake_minimum_required(VERSION 3.25)

set(names "")
foreach(module QtGui QtWidgets)
    file(GLOB headers RELATIVE "${QT_HEADERS}/${module}" "${QT_HEADERS}/${module}/*")
    list(APPEND names ${headers})
endforeach()
if(NOT names)
    message(FATAL_ERROR "no Qt Gui or Widgets headers found below ${QT_HEADERS}")
endif()
list(REMOVE_DUPLICATES names)

set(found "")
foreach(folder ${FOLDERS})
    file(GLOB_RECURSE sources "${folder}/*.cpp" "${folder}/*.h")
    foreach(source ${sources})
        file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${lines})
            string(REGEX MATCH "[<\"]([^>\"]+)[>\"]" match "${line}")
            set(header "${CMAKE_MATCH_1}")
            string(REGEX REPLACE "^(QtGui|QtWidgets)/" "" bare "${header}")
            if(header MATCHES "^(QtGui|QtWidgets)(/|$)" OR bare IN_LIST names)
                # Indented, so the message is printed as it is, never re-wrapped.
                list(APPEND found "  ${source}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(found)
    string(REPLACE ";" "\n" report "${found}")
    message(FATAL_ERROR "Qt Gui or Widgets headers below src/ui:\n${report}")
endif()
