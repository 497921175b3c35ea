#include "LxTypeInfo.h"

namespace LxTypeInfo {

namespace {
const char16_t* const BooleanNames[] = {u"False", u"True"};
}

const TTypeInfo Boolean{tkEnumeration, u"Boolean", otUByte, BooleanNames, 2};
const TTypeInfo ShortInt{tkInteger, u"ShortInt", otSByte};
const TTypeInfo Byte{tkInteger, u"Byte", otUByte};
const TTypeInfo SmallInt{tkInteger, u"SmallInt", otSWord};
const TTypeInfo Word{tkInteger, u"Word", otUWord};
const TTypeInfo Integer{tkInteger, u"Integer", otSLong};
const TTypeInfo Cardinal{tkInteger, u"Cardinal", otULong};
const TTypeInfo Int64{tkInt64, u"Int64", otSQuad};
const TTypeInfo Double{tkFloat, u"Double"};
const TTypeInfo AnsiChar{tkChar, u"AnsiChar", otUByte};
const TTypeInfo WideChar{tkWChar, u"WideChar", otUWord};
const TTypeInfo AnsiString{tkString, u"AnsiString"};
const TTypeInfo UnicodeString{tkUString, u"UnicodeString"};
const TTypeInfo Object{tkClass, u"TObject"};

} // namespace LxTypeInfo
