/* kwilllib.dll for the programs that link against it: every exported function and class.
 * One header per family lives in kwilllib/; see kwilllib/base.h for the conventions. */
#ifndef KWILLLIB_H
#define KWILLLIB_H

#include "kwilllib/base.h"
#include "kwilllib/frame.h"
#include "kwilllib/text.h"
#include "kwilllib/strings.h"
#include "kwilllib/codec.h"
#include "kwilllib/zip.h"
#include "kwilllib/shellns.h"
#include "kwilllib/hostlink.h"
#include "kwilllib/shellext.h"
#include "kwilllib/util.h"

#endif /* KWILLLIB_H */
