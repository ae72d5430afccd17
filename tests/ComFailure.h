// What a call that should fail raised: the HRESULT and the description of its
// _com_error, or S_OK and "" when it raised nothing.
#pragma once

#include <string>

#include <dbplatform/dbplatform.h>

namespace testcom {

struct Failure {
    HRESULT hr = S_OK;
    std::string description;
};

template <class Action>
Failure FailureOf(Action action) {
    try {
        action();
    } catch (const _com_error& error) {
        _bstr_t description = error.Description();
        const char* text = description;
        return Failure{error.Error(), text ? text : ""};
    }
    return Failure{};
}

}  // namespace testcom
