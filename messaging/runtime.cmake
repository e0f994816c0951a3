# The messenger, method channel and engine/view wrappers over the embedding runtime.
#
# The product links flutter_windows.dll through an import library made from our own .def,
# never through whatever import library a runtime build (or our stand-in) produces, so the
# host binds to the real runtime exactly as it binds to the stand-in.
orvanta_import_library(ORVANTA_RUNTIME_IMPORT_LIB ${CMAKE_CURRENT_SOURCE_DIR}/flutter_windows.def
                       flutter_windows.dll)
add_custom_target(orvanta_runtime_import_lib DEPENDS ${ORVANTA_RUNTIME_IMPORT_LIB})

orvanta_library(orvanta_messaging
  SOURCES binary_messenger_impl.cpp engine_reply.cpp reply_slot.cpp engine_method_result.cpp
          method_channel.cpp runtime_project.cpp flutter_engine.cpp flutter_view.cpp
          flutter_view_controller.cpp
  DEPS orvanta_values ${ORVANTA_RUNTIME_IMPORT_LIB})
add_dependencies(orvanta_messaging orvanta_runtime_import_lib)
