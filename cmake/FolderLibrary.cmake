# One library per source folder. Its users see its headers as "<folder>/<Header>.h" through
# a view made of links at configure time (build/include-views/<target>/<folder>/), holding
# only the headers the library lists; the source tree itself is on no include path. A
# folder whose library is not linked is not seen, so a forbidden include does not build.
#
#   folder_library(<target> <folder> [INTERFACE] SOURCES <files...> LINKS <targets...>)
#
# <folder> is relative to src/ (node/audio, panel, ...); sources relative to the calling
# CMakeLists.txt; LINKS are public.
function(folder_library target folder)
  cmake_parse_arguments(L "INTERFACE" "" "SOURCES;LINKS" ${ARGN})
  set(view ${PROJECT_BINARY_DIR}/include-views/${target})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view}/${folder})
  foreach(source ${L_SOURCES})
    if(source MATCHES "\\.h$")
      get_filename_component(name ${source} NAME)
      file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${view}/${folder}/${name} SYMBOLIC)
    endif()
  endforeach()
  if(L_INTERFACE)
    add_library(${target} INTERFACE ${L_SOURCES})
    target_include_directories(${target} INTERFACE ${view})
    target_link_libraries(${target} INTERFACE ${L_LINKS})
  else()
    add_library(${target} STATIC ${L_SOURCES})
    target_include_directories(${target} PUBLIC ${view})
    target_link_libraries(${target} PUBLIC ${L_LINKS})
  endif()
endfunction()
