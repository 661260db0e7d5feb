# Warnings for every target of the project, and the optional sanitizers.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor)
if(TARLO_WERROR)
  add_compile_options(-Werror)
endif()
if(TARLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# GCC 12 reports -Wrestrict, -Wstringop-overflow and -Wstringop-overread from inside libstdc++'s
# std::string and std::copy at -O2 for code that is correct (GCC bugs 105329,
# 105651). They stay visible but cannot fail a -Werror build.
if(TARLO_WERROR AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12 AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-error=restrict -Wno-error=stringop-overflow -Wno-error=stringop-overread)
endif()
