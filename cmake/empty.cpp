// Keeps a folder library valid while its folder has no sources yet.
