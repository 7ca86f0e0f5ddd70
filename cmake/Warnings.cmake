# Our own code builds cleanly at -Wall -Wextra; sx_warnings is linked PRIVATE
# by every target of ours so the flags never leak onto the framework.
add_library(sx_warnings INTERFACE)
target_compile_options(sx_warnings INTERFACE -Wall -Wextra)
