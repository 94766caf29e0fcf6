# One interface target that carries the project's warning flags and Qt definitions.
add_library(vellumar_warnings INTERFACE)
target_compile_options(vellumar_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
                                                   $<$<BOOL:${VELLUMAR_WERROR}>:-Werror>)
target_compile_definitions(vellumar_warnings INTERFACE QT_NO_FOREACH QT_NO_CAST_TO_ASCII
                                                       QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
                                                       QT_DISABLE_DEPRECATED_BEFORE=0x060400)
