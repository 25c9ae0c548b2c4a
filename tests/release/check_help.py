#!/usr/bin/env python3
"""Reads the compiled help files back with chmlib (libchm-bin), a reader
independent of the compiler, and fails unless:
- each file has its language, title, start page, table of contents and index;
- every page the help holds is in its table of contents;
- every link of the pages, the contents and the index reaches a page of the
  same file, and an anchor that page has;
- the model's file and the general file of a language hold the same pages,
  and both languages the same pages, contents and sections;
- every text the help quotes from the program's window (class "ui" or
  "message") is one of the program's own texts in that language.

Usage: check_help.py <dir with the .chm files> <source root> <the build's generated version.h>"""
import html
import html.parser
import os
import re
import struct
import subprocess
import sys
import tempfile

LANGUAGES = {
    'English': {'lcid': 0x409, 'encoding': 'utf-8', 'charset': 'utf-8', 'lang': 'en', 'rc': 'LANG_ENGLISH'},
    'Japanese': {'lcid': 0x411, 'encoding': 'cp932', 'charset': 'shift_jis', 'lang': 'ja', 'rc': 'LANG_JAPANESE'},
}
FILES = {'QDM-LT58': 'qdm-lt58.html', 'NorvaneDriveUtility': 'welcome.html'}  # base name: start page
# Texts of Windows itself that a help page may name: the message box buttons.
SYSTEM_TEXTS = {'English': {'OK', 'Cancel'}, 'Japanese': {'OK', 'キャンセル'}}

problems = []


def expect(condition, problem):
    if not condition:
        problems.append(problem)


class Page(html.parser.HTMLParser):
    """Links, anchors, the title, the declared charset and language, and the
    quoted window texts of one page or sitemap."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.links, self.anchors, self.quotes, self.sitemap = [], set(), [], []
        self.title, self.charset, self.lang = '', None, None
        self._in_title, self._quote_depth, self._depth, self._quote, self._object = False, None, 0, '', None
        self._list_depth = 0
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag not in ('br', 'meta', 'link', 'param', 'img', 'input'):
            self._depth += 1
        if tag == 'html':
            self.lang = a.get('lang')
        if 'id' in a:
            self.anchors.add(a['id'])
        if tag == 'a' and 'name' in a:
            self.anchors.add(a['name'])
        for key in ('href', 'src'):
            if a.get(key):
                self.links.append(a[key])
        if tag == 'meta' and (a.get('http-equiv') or '').lower() == 'content-type':
            match = re.search(r'charset=([\w-]+)', a.get('content', ''))
            self.charset = match.group(1).lower() if match else None
        if tag == 'title':
            self._in_title = True
        if tag == 'br' and self._quote_depth is not None:
            self._quote += ' '
        if tag == 'span' and set((a.get('class') or '').split()) & {'ui', 'message'} and self._quote_depth is None:
            self._quote_depth, self._quote = self._depth, ''
        if tag == 'ul':
            self._list_depth += 1
        if tag == 'object' and (a.get('type') or '').lower() == 'text/sitemap':
            self._object = {'depth': self._list_depth}
        if tag == 'param' and self._object is not None:
            self._object[(a.get('name') or '').lower()] = a.get('value') or ''

    def handle_endtag(self, tag):
        if tag == 'title':
            self._in_title = False
        if tag == 'span' and self._quote_depth == self._depth:
            self.quotes.append(self._quote)
            self._quote_depth = None
        if tag == 'ul':
            self._list_depth -= 1
        if tag == 'object' and self._object is not None:
            self.sitemap.append(self._object)
            self._object = None
        if tag not in ('br', 'meta', 'link', 'param', 'img', 'input'):
            self._depth -= 1

    def handle_data(self, data):
        if self._in_title:
            self.title += data
        if self._quote_depth is not None:
            self._quote += data


def normalise(text):
    return ' '.join(text.split())


def version_texts(version_header):
    """The texts with the version in them, which the resource script takes
    from the header the build generates."""
    header = open(version_header, encoding='utf-8').read()
    return re.findall(r'^#define \w+ "([^"]*)"$', header, flags=re.M)


def program_texts(root, language, versions):
    """Every text of the program's windows in one language: the resource
    script's section of that language and the neutral one, and the texts the
    code writes itself."""
    rc = open(os.path.join(root, 'resources', 'norvane.rc'), encoding='utf-8').read()
    sections = re.split(r'^LANGUAGE\s+', rc, flags=re.M)
    chosen = [s for s in sections if s.startswith(LANGUAGES[language]['rc']) or s.startswith('LANG_NEUTRAL')]
    literals = [m.replace('""', '"') for s in chosen for m in re.findall(r'"((?:[^"]|"")*)"', s)]
    literals += versions
    for folder in ('app', 'pages'):
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith('.cpp'):
                code = open(os.path.join(root, folder, name), encoding='utf-8').read()
                literals += re.findall(r'L"((?:[^"\\]|\\.)*)"', code)
    patterns = set()
    for literal in literals:
        literal = literal.replace('\\r\\n', '\n').replace('&', '')
        for text in [literal] + literal.split('\n'):
            text = normalise(text)
            if text:
                patterns.add(re.escape(text).replace('%d', r'\d+'))
    patterns |= {re.escape(t) for t in SYSTEM_TEXTS[language]}
    return [re.compile(p + r'\Z') for p in patterns]


def read_chm(path, into):
    subprocess.run(['extract_chmLib', path, into], check=True, stdout=subprocess.DEVNULL)
    system = open(os.path.join(into, '#SYSTEM'), 'rb').read()
    entries, at = {}, 4
    while at + 4 <= len(system):
        code, length = struct.unpack_from('<HH', system, at)
        entries[code] = system[at + 4:at + 4 + length]
        at += 4 + length
    files = {}
    for folder, _, names in os.walk(into):
        for name in names:
            if not name.startswith(('#', '$', '_#')):
                full = os.path.join(folder, name)
                files[os.path.relpath(full, into)] = open(full, 'rb').read()
    return entries, files


def resolve(link, page, pages, where):
    """Checks that a link from `page` reaches a file and anchor of the help."""
    if re.match(r'[a-z]+:', link):
        problems.append(f'{where}: link out of the help: {link}')
        return
    target, _, anchor = link.partition('#')
    target = os.path.normpath(os.path.join(os.path.dirname(page), target)) if target else page
    if target not in pages:
        problems.append(f'{where}: {link} reaches no file of the help')
    elif anchor and anchor not in pages[target].anchors:
        problems.append(f'{where}: {link} reaches no anchor of {target}')


def check_file(chm, language, start_page, root, versions):
    """Checks one help file; answers its pages' anchors and its contents."""
    settings = LANGUAGES[language]
    name = os.path.basename(chm)
    with tempfile.TemporaryDirectory() as into:
        system, files = read_chm(chm, into)

    def text(code):
        return system.get(code, b'').split(b'\0')[0].decode(settings['encoding'])
    expect(struct.unpack_from('<I', system.get(4, bytes(4)))[0] == settings['lcid'], f'{name}: language is not {language}')
    expect(text(2) == start_page, f'{name}: start page {text(2)!r}, not {start_page}')
    expect('Norvane BD Drive Utility' in text(3), f'{name}: title {text(3)!r}')
    pages, decoded = {}, {}
    for path, data in files.items():
        if path.endswith(('.html', '.hhc', '.hhk')):
            decoded[path] = data.decode(settings['encoding'])
            pages[path] = Page(decoded[path])
    topics = sorted(p for p in pages if p.endswith('.html'))
    contents, index = pages.get('contents.hhc'), pages.get('index.hhk')
    expect(contents is not None and contents.sitemap, f'{name}: no table of contents')
    expect(index is not None and index.sitemap, f'{name}: no index')
    texts = program_texts(root, language, versions)
    for path in topics:
        page, where = pages[path], f'{name}:{path}'
        expect(page.charset == settings['charset'], f'{where}: declares charset {page.charset}')
        expect(page.lang == settings['lang'], f'{where}: html lang {page.lang}')
        expect(page.title.strip() != '', f'{where}: no title')
        for link in page.links:
            resolve(link, path, {**pages, **{p: Page('') for p in files if p not in pages}}, where)
        for quote in page.quotes:
            expect(any(t.match(normalise(quote)) for t in texts), f'{where}: "{normalise(quote)}" is no text of the program')
    in_contents = set()
    for sitemap_name, sitemap in (('contents.hhc', contents), ('index.hhk', index)):
        for entry in sitemap.sitemap if sitemap else []:
            expect(entry.get('name', '').strip() != '', f'{name}:{sitemap_name}: an entry without a name')
            resolve(entry.get('local', ''), sitemap_name, pages, f'{name}:{sitemap_name}')
            if sitemap is contents:
                in_contents.add(entry.get('local', '').partition('#')[0])
    for path in topics:
        expect(path in in_contents, f'{name}: {path} is not in the table of contents')
    outline = [(e['depth'], e.get('local')) for e in contents.sitemap] if contents else []
    return {p: pages[p].anchors for p in topics}, outline, sorted(files)


def main():
    folder, root, version_header = sys.argv[1:4]
    versions = version_texts(version_header)
    by_language = {}
    for language in LANGUAGES:
        results = {}
        for base, start_page in FILES.items():
            chm = os.path.join(folder, f'{base}_{language}.chm')
            if not os.path.isfile(chm):
                problems.append(f'missing {os.path.basename(chm)}')
                continue
            results[base] = check_file(chm, language, start_page, root, versions)
        if len(results) == 2:
            model, general = results.values()
            expect(model == general, f'{language}: the model file and the general file hold different pages or contents')
        by_language[language] = next(iter(results.values()), None)
    english, japanese = by_language['English'], by_language['Japanese']
    if english and japanese:
        expect(english[2] == japanese[2], f'the languages hold different files: {english[2]} / {japanese[2]}')
        expect(english[1] == japanese[1], 'the languages have different tables of contents')
        for page in english[0]:
            expect(english[0][page] == japanese[0].get(page),
                   f'{page}: sections differ between the languages: '
                   f'{sorted(english[0][page] ^ japanese[0].get(page, set()))}')
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
