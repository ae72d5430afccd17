// Masking of passwords in the texts the diagnostics channel hands out.
#include <gtest/gtest.h>

#include <dbplatform/dbplatform.h>

namespace {

struct MaskCase {
    const char* text;
    const char* masked;
};

TEST(MaskPasswords, MasksEveryFormOfPasswordValue) {
    const MaskCase cases[] = {
        {"Provider=PostgreSQL;User ID=adotest;Password=adotest_pw", "Provider=PostgreSQL;User ID=adotest;Password=***"},
        {"Password=secret;Data Source=x", "Password=***;Data Source=x"},
        {"DRIVER={PostgreSQL Unicode};Uid=u;Pwd=pw;Port=5432", "DRIVER={PostgreSQL Unicode};Uid=u;Pwd=***;Port=5432"},
        {"uid=u;PWD=pw", "uid=u;PWD=***"},
        {"PASSWORD=a;pAsSwOrD=b", "PASSWORD=***;pAsSwOrD=***"},
        {"Password = spaced value ; Next=1", "Password = ***; Next=1"},
        {"Password=\"with;semi\"\"colon\";X=1", "Password=***;X=1"},
        {"Password='it''s;here';X=1", "Password=***;X=1"},
        {"Pwd={br;ace}}d};X=1", "Pwd=***;X=1"},
        {"Jet OLEDB:Database Password=db;Data Source=f", "Jet OLEDB:Database Password=***;Data Source=f"},
        {"Password=\"never closed;X=1", "Password=***"},
        {"Password=;X=1", "Password=;X=1"},
        {"UPDATE users SET pwd='x' WHERE id=1", "UPDATE users SET pwd=*** WHERE id=1"},
        // Keys that only contain the word are left alone.
        {"xpwd=1;PasswordHint=h;PwdLength=8", "xpwd=1;PasswordHint=h;PwdLength=8"},
        {"Data Source=C:\\pwd\\db;User ID=u", "Data Source=C:\\pwd\\db;User ID=u"},
        {"", ""},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(dbplatform::MaskPasswords(c.text), c.masked);
    }
}

}  // namespace
