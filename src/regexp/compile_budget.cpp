// The refusal of a compilation that passes its budget.
#include "regexp/compile_budget.h"

#include "regexp/errors.h"
#include "regexp/sjis_texts.inc"

namespace regexp {

void TRECompileBudget::Fail() const { throw ERegExpTooComplex(kMsgTooComplex, Position ? *Position : 0); }

}  // namespace regexp
