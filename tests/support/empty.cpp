// Keeps the support library non-empty while no shared fixture exists.
