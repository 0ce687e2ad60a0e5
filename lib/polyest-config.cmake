# The polyest C++ library: find_package(polyest CONFIG) defines the target polyest::polyest
# (libpolyest.a, its headers under include/polyest/, C++20, the maths library).
include(${CMAKE_CURRENT_LIST_DIR}/polyest-targets.cmake)
