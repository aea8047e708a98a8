# Compiler settings shared by every target of the project.
add_compile_options(-Wall -Wextra)
if(VELNOX_WERROR)
  add_compile_options(-Werror)
endif()

if(VELNOX_SANITIZE)
  add_compile_options(-fsanitize=${VELNOX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VELNOX_SANITIZE})
endif()

if(VELNOX_FUZZ)
  # Libraries are instrumented for coverage; only the fuzz targets link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# velnox_add_library(<name> [QT] LIBS <libs...>)
# One static library per folder, made of every .cpp in it.
function(velnox_add_library name)
  cmake_parse_arguments(ARG "QT" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
