// Tamsel sources arrive with the support library.
