if(MM_SANITIZE)
  add_compile_options(-fsanitize=${MM_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${MM_SANITIZE})
endif()
