// Two-sided, case-insensitive '*' and '?' matching of file specifications
// against archive member names.  Either side may hold wildcards.
#pragma once

#include <string>

bool MatchSpec(const std::string& Spec, const std::string& Name, bool NamesOnly);
