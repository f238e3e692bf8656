"""Tools around the velmor modules, written in Python: what a script or a shell
uses beside the driver itself (reports, figures, launchers)."""
