if(ORLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # What a test measures differently under the sanitizer (resident memory): gcc and clang name
  # the sanitizer each their own way.
  add_compile_definitions(ORLO_ADDRESS_SANITIZER)
endif()
