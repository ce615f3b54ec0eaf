"""The runtime shared by vantorel's native modules: the FatalError they raise."""

__all__ = ["FatalError"]

class FatalError(BaseException):
    """Raised when native code called from Python fails fatally.

    Like SystemExit, it derives from BaseException rather than Exception, so
    that it normally propagates all the way up the stack and ends the
    interpreter."""
