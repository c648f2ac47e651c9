# Stands in for Qt Shader Tools' qt_internal_add_shaders when Qt Multimedia is built
# without them: each shader set becomes an empty resource, so that the code that loads
# it still links. The program plays sound only; no video frame is drawn on the GPU.
if(NOT COMMAND qt_internal_add_shaders)
    function(qt_internal_add_shaders target name)
        set(source "${CMAKE_CURRENT_BINARY_DIR}/no_shaders_${name}.cpp")
        file(WRITE "${source}"
             "int qInitResources_${name}() { return 1; }\nint qCleanupResources_${name}() { return 1; }\n")
        target_sources(${target} PRIVATE "${source}")
    endfunction()
endif()
