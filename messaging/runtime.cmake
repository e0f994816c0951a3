# Filled in with the messenger and engine wrappers.
