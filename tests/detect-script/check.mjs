// node check.mjs SCRIPT.ps1: it parses as PowerShell, is saved as signing needs, and uses no type outside
// Constrained Language's list (about_Language_Modes: the part every PowerShell since 3.0 allows).
import Parser from 'tree-sitter';
import PowerShell from 'tree-sitter-powershell';
import { readFileSync } from 'node:fs';

const allowed = new Set(('array bool byte char datetime decimal double float guid hashtable int int16 int32 int64 long ' +
  'object[] pscustomobject psobject regex sbyte short single string switch timespan uint16 uint32 uint64 uri version void xml').split(' '));
let passed = 0, failed = 0;
const check = (what, ok) => { ok ? passed++ : failed++; console.log(`${ok ? 'PASS' : 'FAIL'} ${what}`); };
const bytes = readFileSync(process.argv[2]), text = bytes.toString('utf8');
check('saved as UTF-8 with a byte order mark', bytes.subarray(0, 3).equals(Buffer.from([0xef, 0xbb, 0xbf])));
check('CRLF line ends only', !/[^\r]\n|\r[^\n]|^\n/.test(text));
const parser = new Parser();
parser.setLanguage(PowerShell);
const nodes = [], walk = (node) => { nodes.push(node); node.children.forEach(walk); };
walk(parser.parse(text.replace(/^\uFEFF/, '')).rootNode);
const broken = nodes.filter((n) => n.type === 'ERROR' || n.isMissing).map((n) => n.startPosition.row + 1);
check(`parses${broken.length ? `: error or missing node on lines ${broken}` : ''}`, !broken.length);
const outside = nodes.filter((n) => n.type === 'type_literal').map((n) => n.text.slice(1, -1).trim().toLowerCase())
  .filter((t) => !allowed.has(t.replace(/^system\./, '')));
check(`no type outside Constrained Language${outside.length ? `: ${outside}` : ''}`, !outside.length);
check('no New-Object or Add-Type', !nodes.some((n) => n.type === 'command_name' && /^(new-object|add-type)$/i.test(n.text)));
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
