# OpenCV for the side-by-side benchmarks, found as find_package(OpenCV COMPONENTS core imgproc).
# Debian's libopencv-core-dev and libopencv-imgproc-dev ship the headers and libraries but not
# OpenCV's CMake package files, which come only with the much larger libopencv-dev; without
# those files the parts asked for are looked up directly and given OpenCV's target names.
find_package(OpenCV CONFIG QUIET COMPONENTS ${OpenCV_FIND_COMPONENTS})
if(NOT OpenCV_FOUND)
  find_path(OpenCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
  set(OpenCV_LIBS)
  foreach(component IN LISTS OpenCV_FIND_COMPONENTS)
    find_library(OpenCV_${component}_LIBRARY opencv_${component})
    if(OpenCV_${component}_LIBRARY AND OpenCV_INCLUDE_DIR)
      set(OpenCV_${component}_FOUND TRUE)
      if(NOT TARGET opencv_${component})
        add_library(opencv_${component} UNKNOWN IMPORTED)
        set_target_properties(opencv_${component} PROPERTIES
          IMPORTED_LOCATION "${OpenCV_${component}_LIBRARY}"
          INTERFACE_INCLUDE_DIRECTORIES "${OpenCV_INCLUDE_DIR}")
      endif()
      list(APPEND OpenCV_LIBS opencv_${component})
    endif()
  endforeach()
  set(OpenCV_INCLUDE_DIRS ${OpenCV_INCLUDE_DIR})
  include(FindPackageHandleStandardArgs)
  find_package_handle_standard_args(OpenCV REQUIRED_VARS OpenCV_INCLUDE_DIR OpenCV_LIBS
                                    HANDLE_COMPONENTS)
endif()
