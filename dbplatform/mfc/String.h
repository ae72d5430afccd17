// CString: an ANSI (process code page, UTF-8) text with MFC's value semantics and
// editing operations. Indices and lengths count bytes, as in an MBCS build.
#pragma once

#include <string>

#include <dbplatform/automation/Bstr.h>
#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

class CString {
public:
    CString() = default;
    CString(const CString& other) = default;
    CString(CString&& other) noexcept = default;
    CString(const char* text);                // nullptr = empty
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(const OLECHAR* wide);             // converted from UTF-16
    CString(const std::string& text) : text_(text) {}
    CString& operator=(const CString& other) = default;
    CString& operator=(CString&& other) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(char ch);
    CString& operator=(const OLECHAR* wide);

    int GetLength() const { return static_cast<int>(text_.size()); }
    BOOL IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }
    char GetAt(int index) const;
    void SetAt(int index, char ch);
    char operator[](int index) const { return GetAt(index); }
    operator const char*() const { return text_.c_str(); }
    const char* GetString() const { return text_.c_str(); }
    const std::string& str() const { return text_; }

    // Buffer access for APIs that write into the text.
    char* GetBuffer(int minimumLength);
    void ReleaseBuffer(int newLength = -1);  // -1: up to the first NUL
    char* GetBufferSetLength(int length);

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);
    friend DBPLATFORM_API CString operator+(const CString& a, const CString& b);
    friend DBPLATFORM_API CString operator+(const CString& a, const char* b);
    friend DBPLATFORM_API CString operator+(const char* a, const CString& b);
    friend DBPLATFORM_API CString operator+(const CString& a, char b);
    friend DBPLATFORM_API CString operator+(char a, const CString& b);

    int Compare(const char* other) const;        // strcmp order
    int CompareNoCase(const char* other) const;
    friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
    friend DBPLATFORM_API bool operator==(const CString& a, const char* b);
    friend bool operator==(const char* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.text_ < b.text_; }

    // printf-style formatting; the result replaces the content.
    void Format(const char* format, ...);
    void AppendFormat(const char* format, ...);

    // Searching: -1 when not found.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* set) const;

    // Editing, with MFC's results (new length, count removed or replaced).
    int Insert(int index, char ch);          // index clamped to 0..length
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);    // count clamped at the end
    int Remove(char ch);
    int Replace(char oldChar, char newChar);
    int Replace(const char* oldText, const char* newText);  // empty oldText: 0
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();
    CString& TrimLeft();                     // white space
    CString& TrimLeft(char target);
    CString& TrimLeft(const char* targets);
    CString& TrimRight();
    CString& TrimRight(char target);
    CString& TrimRight(const char* targets);
    CString& Trim();

    CString Left(int count) const;           // clamped to 0..length
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    // A new BSTR the caller frees; and assignment from a BSTR.
    BSTR AllocSysString() const;
    BSTR SetSysString(BSTR* target) const;

private:
    std::string text_;
};

DBPLATFORM_PUBLIC_END
