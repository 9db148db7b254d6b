/*
 * keldom.h - XML text that composition and decomposition write: the document header built
 * from a DAD's prolog, doctype and stylesheet (kelGenDocHeader), the start and end tags of
 * generated elements with their line feeds and indentation (writeXMLStartTag,
 * writeXMLEndTag), and a parsed DOM node written back as XML text (kelDOMtoXML,
 * kelDOMtoXML1), which decomposition stores when a column holds an element's markup.
 *
 * Texts are built without fixed limits: no tag or text is ever cut or dropped.  Output is in
 * the database code page of the call context.  Every function is reentrant and reads the DOM
 * only; the caller owns every buffer.
 */
#ifndef KEL_DOM_H
#define KEL_DOM_H

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <string>
#include <string_view>
#include <vector>

#include "keldadread.h"

struct KelCallContext;
struct KelDocBuffer;

/*
 * Sets *header to "<" prolog ">", then "\n<" doctype ">" when the DAD has a doctype, then
 * "\n<" stylesheet ">" when it has a stylesheet (the DAD holds the declarations without their
 * angle brackets).  The prolog is trimmed and must be an XML declaration: "?xml", version 1.0
 * or 1.1, optionally encoding and standalone (yes or no) in that order, "?"; an encoding it
 * names is replaced by the name of the database code page's encoding (KEL_getEncoding), in
 * which the document is written.  The doctype and stylesheet stand as written.  Returns 0;
 * -61 with KELQ000E and "38X15" when the prolog is missing or empty ("prolog"), or a doctype or
 * stylesheet element is empty ("doctype", "stylesheet"); -123 with KELQ040E "prolog" and
 * "38X27" for a prolog that is not such a declaration; KEL_getEncoding's failure.
 */
int kelGenDocHeader(KelCallContext *ctx, const KelDadHeader &dad, std::string *header, char *sqlstate, char *msg);

/*
 * Sets *tag to an open start tag: a line feed when lineFeed, blanks blanks, "<" and name (the
 * caller writes the attributes and the ">").  Returns the tag's length.
 */
int writeXMLStartTag(std::string *tag, int blanks, const char *name, bool lineFeed);

/*
 * Sets *tag to an end tag: a line feed when lineFeed, ">" when the start tag is still open,
 * blanks blanks, "</", name and ">".  Returns the tag's length.
 */
int writeXMLEndTag(std::string *tag, int blanks, const char *name, bool lineFeed, bool open);

/*
 * Appends node to buf as XML text, as it was parsed: an element as its start tag with every
 * attribute (values escaped), its content and its end tag (also when it has no content, never
 * in the empty-element form); text escaped; comments, CDATA sections and processing
 * instructions written as such; an entity reference as its replacement text (its children),
 * or as the reference itself when the parser did not expand it.  No line feeds or indentation
 * are added.  Returns 0; -58 with KELG002E when memory is short; -57 with KELG001E (unit
 * keldom) when the text cannot be converted or appended.
 */
int kelDOMtoXML1(KelCallContext *ctx, const xercesc::DOMNode *node, KelDocBuffer *buf, char *sqlstate, char *msg);

// A namespace declaration: its attribute name ("xmlns" or "xmlns:" prefix) and its value.
struct KelNsDecl {
  std::u16string_view name;
  std::u16string_view value;
};
using KelNsDecls = std::vector<KelNsDecl>;

/*
 * The same into a new terminated string *out (malloc'd; the caller frees it).  When inherited
 * is given, its declarations are written into the start tag of node after its own attributes:
 * an element written alone keeps the namespaces it was parsed in.  Returns 0; -14 with
 * KELA019E for a null node; the failures of kelDOMtoXML1.
 */
int kelDOMtoXML(KelCallContext *ctx, const xercesc::DOMNode *node, char **out, char *sqlstate, char *msg,
                const KelNsDecls *inherited = nullptr);

#endif /* KEL_DOM_H */
