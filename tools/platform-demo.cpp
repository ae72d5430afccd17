// platform-demo: exercises the platform layer end to end on this machine. It stands in
// for the main job until the burden-distribution demo exists, and says so.
#include <cstdio>

#include <dbplatform/dbplatform.h>

namespace {

// Creating the ADO connection class proves the class registry and the smart pointers.
void ShowCreation() {
    CoInitialize(nullptr);
    IUnknownPtr connection;
    HRESULT hr = connection.CreateInstance("ADODB.Connection");
    if (SUCCEEDED(hr)) {
        CLSID clsid;
        dbplatform::ClassIdFromProgId("ADODB.Connection", &clsid);
        std::printf("Created ADODB.Connection, class %s\n", dbplatform::GuidToText(clsid).c_str());
    } else {
        std::printf("ADODB.Connection is not registered in this build: %s\n", _com_error(hr).ErrorMessage());
    }
    connection = nullptr;
    CoUninitialize();
}

// A few conversions through VARIANT, the way the libraries read database values.
void ShowConversions() {
    try {
        _variant_t half(12.5);
        _variant_t text("2005-12-19 8:30");
        DATE date = 0;
        HRESULT hr = dbplatform::DateFromText(static_cast<const char*>(_bstr_t(text)), &date);
        std::printf("12.5 as an integer: %d (rounded half to even)\n", static_cast<int>(half));
        std::printf("\"2005-12-19 8:30\" as a date: %s (%s)\n",
                    SUCCEEDED(hr) ? dbplatform::TextFromDate(date).c_str() : "refused",
                    SUCCEEDED(hr) ? "canonical text" : _com_error(hr).ErrorMessage());
        _variant_t number("42.5");
        std::printf("\"42.5\" as a double: %g\n", static_cast<double>(number));
        _variant_t notANumber("forty-two");
        std::printf("\"forty-two\" as a double: %g\n", static_cast<double>(notANumber));
    } catch (const _com_error& error) {
        std::printf("conversion refused: %s\n", error.ErrorMessage());
    }
    CTime now = CTime::GetCurrentTime();
    std::printf("Local time now: %s\n", now.Format("%Y-%m-%d %H:%M:%S").GetString());
    std::printf("_com_error(0x80040E14): %s\n", _com_error(DB_E_ERRORSINCOMMAND).ErrorMessage());
}

}  // namespace

int main() {
    std::printf("platform-demo: a placeholder main job until the Morvane demo lands.\n");
    ShowCreation();
    ShowConversions();
    std::fflush(stdout);  // keep the lines in order: the default handler writes to standard error
    // The default handler writes "caption: text" to standard error and answers IDOK.
    int button = MessageBoxA(nullptr, "The platform layer works.", "platform-demo", MB_OK);
    std::printf("Message box answered %d\n", button);
    return 0;
}
