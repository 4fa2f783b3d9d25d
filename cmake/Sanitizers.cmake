# Applied globally so that every library and test of a sanitized build is instrumented alike.
if(VFWU_SANITIZE)
  string(REPLACE ";" "," _vfwu_san "${VFWU_SANITIZE}")
  add_compile_options(-fsanitize=${_vfwu_san} -fno-omit-frame-pointer -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=${_vfwu_san})
endif()
