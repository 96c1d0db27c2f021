# What the companions share: reading and writing NetCDF, outputs staged under a temporary
# name. Included by each companion that needs it; defined once.
if(NOT TARGET companion_files)
  add_library(companion_files STATIC ${PROJECT_SOURCE_DIR}/companion/netcdf_file.cpp
                                     ${PROJECT_SOURCE_DIR}/companion/staged_output.cpp)
  target_link_libraries(companion_files PUBLIC conv2model_core netCDF::netcdf)
endif()
