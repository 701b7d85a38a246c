add_compile_options(-Wall -Wextra)
if(MM_WERROR)
  add_compile_options(-Werror)
endif()
