# libkelodbc.so: the exported entry points over kelvra_core. Everything is built with hidden
# visibility and the version script names the only symbols the library exports: the ODBC API,
# ConfigDSN and LoadByOrdinal.
set_target_properties(kelvra_core PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)

set(KELVRA_EXPORT_MAP ${CMAKE_CURRENT_SOURCE_DIR}/src/driver/kelodbc.map)
add_library(kelodbc SHARED ${CMAKE_CURRENT_SOURCE_DIR}/src/driver/library.cpp)
set_target_properties(kelodbc PROPERTIES CXX_VISIBILITY_PRESET hidden
                                         VISIBILITY_INLINES_HIDDEN ON
                                         LINK_DEPENDS ${KELVRA_EXPORT_MAP})
target_link_libraries(kelodbc PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,kelvra_core>")
target_link_options(kelodbc PRIVATE "LINKER:--version-script=${KELVRA_EXPORT_MAP}"
                    "LINKER:--no-undefined" "LINKER:-z,defs")

install(TARGETS kelodbc LIBRARY DESTINATION lib COMPONENT driver)
