# The seams of the tree, checked on every build and by the test `seam`:
#  - the extension includes no SQLite and no engine internals, only the platform headers of
#    quarn/include; the engine includes none of the extension's headers;
#  - the extension's layers point one way: a folder includes headers of its own and of the
#    folders it stands on, never of a folder above it or beside it.
# Run as: cmake -DROOT=<source dir> -P CheckSeam.cmake

# Each folder of the extension and the folders it may include from.
set(layer_runtime "")
set(layer_xml runtime include)  # include/ holds the parser layer's shared classes
set(layer_include runtime xml)
set(layer_routine runtime xml include)
set(layer_dad runtime xml include routine)
set(layer_compose runtime xml include routine dad)
set(layer_decompose runtime xml include routine dad compose)
set(layer_admin runtime xml include routine dad compose decompose)
set(layer_functions runtime xml include routine)
set(layer_tools runtime xml include routine dad compose decompose admin)
set(folders runtime xml include routine dad compose decompose admin functions tools)

set(bad "")

# Which folder holds each header of the extension.
foreach(dir IN LISTS folders)
  file(GLOB_RECURSE headers ${ROOT}/${dir}/*.h)
  foreach(h IN LISTS headers)
    get_filename_component(name ${h} NAME)
    set(home_${name} ${dir})
  endforeach()
endforeach()

foreach(dir IN LISTS folders)
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp)
  foreach(f IN LISTS files)
    file(STRINGS ${f} hits REGEX "#[ \t]*include[ \t]*[<\"](sqlite3\\.h|.*engine/)")
    if(hits)
      list(APPEND bad "${f}: ${hits}")
    endif()
    file(STRINGS ${f} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      get_filename_component(name ${header} NAME)
      if(NOT DEFINED home_${name})
        continue()  # a platform, library or test-support header
      endif()
      set(home ${home_${name}})
      if(home STREQUAL dir)
        continue()
      endif()
      list(FIND layer_${dir} ${home} allowed)
      if(allowed EQUAL -1)
        file(RELATIVE_PATH rel ${ROOT} ${f})
        list(APPEND bad "${rel} (${dir}) includes ${header} of ${home}, a layer it does not stand on")
      endif()
    endforeach()
  endforeach()
endforeach()

file(GLOB_RECURSE files ${ROOT}/quarn/*.h ${ROOT}/quarn/*.cpp)
foreach(f IN LISTS files)
  file(STRINGS ${f} hits REGEX "#[ \t]*include[ \t]*\"kel[A-Za-z_]*\\.h\"")
  # The shared test fixtures (tests/support) are no part of the extension.
  list(FILTER hits EXCLUDE REGEX "kel_test_env\\.h|kel_golden\\.h")
  if(hits)
    list(APPEND bad "${f}: ${hits}")
  endif()
endforeach()

if(bad)
  string(REPLACE ";" "\n" text "${bad}")
  message(FATAL_ERROR "seam crossed:\n${text}")
endif()
