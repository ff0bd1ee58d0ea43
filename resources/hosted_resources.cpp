// The executable's resources for the hosted build: the same ids and texts that
// uninstaller.rc compiles into the Windows executable, once per language, from the same
// texts (lang/<language>.h).
#include <windows.h>

#include <iterator>

#include "platform/hosted/api/Resources.h"
#include "resources/config_strings.h"
#include "resources/filesinuse.h"
#include "resources/shortcut_strings.h"

namespace {

namespace lang_en_US {
#include "resources/lang/en-US.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_en_US

namespace lang_de {
#include "resources/lang/de.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_de

namespace lang_es {
#include "resources/lang/es.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_es

namespace lang_fr {
#include "resources/lang/fr.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_fr

namespace lang_it {
#include "resources/lang/it.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_it

namespace lang_sv {
#include "resources/lang/sv.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_sv

namespace lang_zh_TW {
#include "resources/lang/zh-TW.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_zh_TW

namespace lang_ja_JP {
#include "resources/lang/ja-JP.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_ja_JP

namespace lang_ko_KR {
#include "resources/lang/ko-KR.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_ko_KR

namespace lang_pt_BR {
#include "resources/lang/pt-BR.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_pt_BR

namespace lang_zh_CN {
#include "resources/lang/zh-CN.h"
#include "resources/lang/tables.inc"
#include "resources/lang/undef.h"
}  // namespace lang_zh_CN

// English first: the language of a machine whose language the program does not carry.
constexpr hosted::LanguageResources kLanguages[] = {
    lang_en_US::kLanguage, lang_de::kLanguage,    lang_es::kLanguage,    lang_fr::kLanguage,
    lang_it::kLanguage,    lang_sv::kLanguage,    lang_zh_TW::kLanguage, lang_ja_JP::kLanguage,
    lang_ko_KR::kLanguage, lang_pt_BR::kLanguage, lang_zh_CN::kLanguage,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const hosted::ExecutableResources hostedExecutableResources = {
    kLanguages, std::size(kLanguages)};
