// Lets a library target build before its first source file exists.
