# varn_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [ENV <k=v>...] [LAUNCHER <cmd...>]
#               [ARGS <arguments of the test entry...>])
# One QtTest executable per component. Every test runs with the offscreen platform and
# without proxy variables, so nothing can reach outside loopback through a proxy.
function(varn_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV;LAUNCHER;ARGS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    target_compile_definitions(${name} PRIVATE
        VARN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        VARN_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${name} COMMAND ${T_LAUNCHER} $<TARGET_FILE:${name}> ${T_ARGS})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;http_proxy=;https_proxy=;ftp_proxy=;all_proxy=;HTTP_PROXY=;HTTPS_PROXY=;FTP_PROXY=;ALL_PROXY=;no_proxy=*;${T_ENV}")
endfunction()

# varn_add_library(<name> [DIRS <subdirs...>] [EXCLUDE <files...>] LIBS <targets...>)
# A subsystem library made of every source in its folder (and the given subfolders),
# so that parallel work on one subsystem needs no edits here.
function(varn_add_library name)
    cmake_parse_arguments(L "" "" "DIRS;EXCLUDE;LIBS" ${ARGN})
    set(patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
    foreach(dir ${L_DIRS})
        list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
    endforeach()
    file(GLOB sources CONFIGURE_DEPENDS ${patterns})
    foreach(ex ${L_EXCLUDE})
        if(NOT IS_ABSOLUTE "${ex}")
            set(ex ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
        endif()
        list(REMOVE_ITEM sources ${ex})
    endforeach()
    set(have_cpp FALSE)
    foreach(s ${sources})
        if(s MATCHES "\\.cpp$")
            set(have_cpp TRUE)
        endif()
    endforeach()
    if(have_cpp)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${L_LIBS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${L_LIBS})
    endif()
endfunction()
