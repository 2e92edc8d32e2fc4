/* resource_dll.c - the resource DLL holds no code of its own: only its
   resources are read, and the runtime supplies the entry point. */
typedef int resource_dll_has_no_code;
