// libvort.so is vort_control linked whole; its exports are the component server's
// (DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer) and the
// library callbacks (EventProc, FileInfoProc, ModemInfoProc), all defined there.
