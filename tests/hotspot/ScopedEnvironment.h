#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

/** Sets environment variables for one test and puts the old values back,
    so that later tests (and the children they start) see what they expect. */
class ScopedEnvironment
{
public:
    ScopedEnvironment() = default;

    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : saved)
        {
            if (value)
                ::setenv (name.c_str(), value->c_str(), 1);
            else
                ::unsetenv (name.c_str());
        }
    }

    void set (const std::string& name, const std::string& value)
    {
        if (saved.count (name) == 0)
        {
            const auto* old = std::getenv (name.c_str());
            saved[name] = old != nullptr ? std::optional<std::string> (old) : std::nullopt;
        }

        ::setenv (name.c_str(), value.c_str(), 1);
    }

private:
    std::map<std::string, std::optional<std::string>> saved;

    ScopedEnvironment (const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator= (const ScopedEnvironment&) = delete;
};
