# Finds the OpenCV 4 core and imgproc modules from Debian's component
# packages, which ship no CMake config, and defines the imported target
# OpenCV::modules with their headers as system includes. The static archives
# are taken when they are there: the executable then loads only the two
# libraries the drawing code reaches (TBB for parallel loops, GLX that the
# matrix code refers to), not the LAPACK, BLAS and Fortran stack the shared
# core carries.
find_path(OpenCVModules_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
set(_opencv_libraries)
set(_opencv_static FALSE)
# imgproc before core: a static archive only supplies what is asked before it.
foreach(_module imgproc core)
  find_library(OpenCVModules_${_module}_LIBRARY NAMES libopencv_${_module}.a opencv_${_module})
  list(APPEND _opencv_libraries ${OpenCVModules_${_module}_LIBRARY})
  if(OpenCVModules_${_module}_LIBRARY MATCHES "\\.a$")
    set(_opencv_static TRUE)
  endif()
endforeach()
set(_opencv_required OpenCVModules_INCLUDE_DIR OpenCVModules_core_LIBRARY
    OpenCVModules_imgproc_LIBRARY)
if(_opencv_static)
  find_library(OpenCVModules_tbb_LIBRARY NAMES tbb libtbb.so.12)
  find_library(OpenCVModules_glx_LIBRARY NAMES GLX libGLX.so.0)
  find_library(OpenCVModules_zlib_LIBRARY NAMES libz.a z)
  list(APPEND _opencv_libraries ${OpenCVModules_tbb_LIBRARY} ${OpenCVModules_glx_LIBRARY}
       ${OpenCVModules_zlib_LIBRARY} ${CMAKE_DL_LIBS} pthread)
  list(APPEND _opencv_required OpenCVModules_tbb_LIBRARY OpenCVModules_glx_LIBRARY
       OpenCVModules_zlib_LIBRARY)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVModules REQUIRED_VARS ${_opencv_required})

if(OpenCVModules_FOUND AND NOT TARGET OpenCV::modules)
  add_library(OpenCV::modules INTERFACE IMPORTED)
  set_target_properties(OpenCV::modules PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${OpenCVModules_INCLUDE_DIR}"
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${OpenCVModules_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${_opencv_libraries}")
endif()
