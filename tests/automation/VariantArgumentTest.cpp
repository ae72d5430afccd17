// Reading VARIANT arguments: one level of VT_BYREF | VT_VARIANT is followed, null and
// other references are left as they are, and which values mean "left out".
#include <gtest/gtest.h>

#include <dbplatform/automation/VariantArgument.h>
#include <dbplatform/automation/VariantT.h>

namespace {

VARIANT ReferenceTo(VARIANT* target) {
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.byref = target;
    return reference;
}

TEST(VariantArgument, DereferencedFollowsExactlyOneVariantReference) {
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 42;
    VARIANT once = ReferenceTo(&number);
    VARIANT twice = ReferenceTo(&once);
    VARIANT null = ReferenceTo(nullptr);
    LONG raw = 7;
    VARIANT longReference;
    VariantInit(&longReference);
    longReference.vt = VT_BYREF | VT_I4;
    longReference.byref = &raw;

    struct Case {
        const char* what;
        const VARIANT* given;
        const VARIANT* expected;
    } cases[] = {
        {"a plain value is itself", &number, &number},
        {"a reference gives its target", &once, &number},
        {"a reference to a reference gives the inner reference", &twice, &once},
        {"a null reference stays as it is", &null, &null},
        {"a reference to a LONG is not a VARIANT reference", &longReference, &longReference},
    };
    for (const Case& c : cases) EXPECT_EQ(&dbplatform::Dereferenced(*c.given), c.expected) << c.what;
    EXPECT_EQ(dbplatform::Dereferenced(null).vt, VT_BYREF | VT_VARIANT);
}

TEST(VariantArgument, MissingArguments) {
    VARIANT empty;
    VariantInit(&empty);
    VARIANT otherError;
    VariantInit(&otherError);
    otherError.vt = VT_ERROR;
    otherError.scode = E_FAIL;
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    VARIANT reference = ReferenceTo(&empty);
    const _variant_t zero(0L);

    struct Case {
        const char* what;
        const VARIANT* value;
        bool missing;
    } cases[] = {
        {"VT_EMPTY", &empty, true},
        {"vtMissing", &vtMissing, true},
        {"another VT_ERROR", &otherError, false},
        {"VT_NULL is a value", &null, false},
        {"a zero", &zero, false},
        {"a reference is judged only once dereferenced", &reference, false},
    };
    for (const Case& c : cases) EXPECT_EQ(dbplatform::IsMissingArgument(*c.value), c.missing) << c.what;
    EXPECT_TRUE(dbplatform::IsMissingArgument(dbplatform::Dereferenced(reference)));
}

}  // namespace
