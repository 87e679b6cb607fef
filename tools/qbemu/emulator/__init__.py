"""qbemu: an emulator of the QuickBase XML API (see ../README.md)."""
