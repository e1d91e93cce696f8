// Parses each PowerShell script with tree-sitter-powershell's grammar (loaded
// as WebAssembly: no native build), since no PowerShell runs here: a syntax
// slip in a shipped script fails the release checks. Prints each script's
// verdict and the first error's line; exits 1 when one does not parse.
//   node parse.cjs [--self-test] SCRIPT...
// --self-test: also a script with an unclosed "if (" must fail, so that the
// check cannot pass by parsing nothing.
const fs = require('fs');
const { Parser, Language } = require('web-tree-sitter');

function firstError(node) {
  if (node.type === 'ERROR' || node.isMissing) return node;
  for (const child of node.children) {
    if (child.hasError || child.isMissing) {
      const found = firstError(child);
      if (found) return found;
    }
  }
  return node.hasError ? node : null;
}

(async () => {
  await Parser.init();
  const parser = new Parser();
  parser.setLanguage(await Language.load(require.resolve('tree-sitter-powershell/tree-sitter-powershell.wasm')));
  const verdict = (text) => {
    const error = firstError(parser.parse(text).rootNode);
    return error ? `does not parse: line ${error.startPosition.row + 1}` : 'parses';
  };
  let failed = 0;
  const args = process.argv.slice(2);
  const selfTest = args[0] === '--self-test';
  if (selfTest && verdict('if ($a -eq 1 { "x" }\r\n') === 'parses') {
    console.log('FAIL  an unclosed "if (" parses: the grammar checks nothing');
    failed++;
  }
  for (const script of args.slice(selfTest ? 1 : 0)) {
    const result = verdict(fs.readFileSync(script, 'utf8'));
    console.log(`${result === 'parses' ? 'ok  ' : 'FAIL'}  ${script}: ${result}`);
    if (result !== 'parses') failed++;
  }
  process.exit(failed === 0 ? 0 : 1);
})();
