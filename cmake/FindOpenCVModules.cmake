# Finds the OpenCV 4 core and imgproc modules from Debian's
# component packages, which ship no CMake config, and defines the imported
# target OpenCV::modules with their headers as system includes.
find_path(OpenCVModules_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
set(_opencv_libraries)
foreach(_module core imgproc)
  find_library(OpenCVModules_${_module}_LIBRARY NAMES opencv_${_module})
  list(APPEND _opencv_libraries ${OpenCVModules_${_module}_LIBRARY})
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVModules REQUIRED_VARS OpenCVModules_INCLUDE_DIR
  OpenCVModules_core_LIBRARY OpenCVModules_imgproc_LIBRARY)

if(OpenCVModules_FOUND AND NOT TARGET OpenCV::modules)
  add_library(OpenCV::modules INTERFACE IMPORTED)
  set_target_properties(OpenCV::modules PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${OpenCVModules_INCLUDE_DIR}"
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${OpenCVModules_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${_opencv_libraries}")
endif()
