-- A pandoc filter that turns the joined help page (one <div> per help page,
-- named after it) into the manual page sumvane(1). It only rearranges what
-- the help says: the pages' sections go under the headings a manual page
-- has, and the tables of options, files, exit codes and examples become
-- tagged paragraphs. A section it looks for and cannot find stops the
-- conversion, so a renamed heading cannot leave the manual page without it;
-- a section it does not know goes, as a subsection, under the heading of the
-- page it is on, so nothing added to the help is lost.
--
-- Metadata: "description" (the NAME line), set with pandoc -M.

local stringify = pandoc.utils.stringify

local function fail(message)
  error("sumvane.1: " .. message, 0)
end

-- Literal text (file names, commands) is set in bold, as manual pages do.
local function literal(code)
  return pandoc.Strong({ pandoc.Str(code.text) })
end

-- Each help page as { intro = blocks before its first h2, sections = list
-- of { title, blocks } }; the page's own h1 title is dropped.
local function split_pages(blocks)
  local pages = {}
  for _, block in ipairs(blocks) do
    if block.t == "Div" and block.identifier ~= "" then
      local page = { intro = pandoc.List(), sections = pandoc.List() }
      local current = page.intro
      for _, inner in ipairs(block.content) do
        if inner.t == "Header" and inner.level == 2 then
          current = pandoc.List()
          page.sections:insert({ title = stringify(inner.content), blocks = current, used = false })
        elseif not (inner.t == "Header" and inner.level == 1) then
          current:insert(inner)
        end
      end
      pages[block.identifier] = page
    end
  end
  return pages
end

local function page_of(pages, name)
  return pages[name] or fail("the help has no page '" .. name .. "'")
end

local function section_of(page_name, page, title)
  for _, section in ipairs(page.sections) do
    if section.title == title then
      section.used = true
      return section.blocks
    end
  end
  fail("the help page '" .. page_name .. "' has no section '" .. title .. "'")
end

-- A table's body rows, as lists of cell inlines.
local function rows_of(table_block)
  local rows = pandoc.List()
  for _, body in ipairs(table_block.bodies) do
    for _, row in ipairs(body.body) do
      local cells = pandoc.List()
      for _, cell in ipairs(row.cells) do
        local inlines = pandoc.List()
        for i, content in ipairs(cell.contents) do
          if i > 1 then inlines:insert(pandoc.Space()) end
          inlines:extend(content.content or {})
        end
        cells:insert(inlines)
      end
      rows:insert(cells)
    end
  end
  return rows
end

local function joined(...)
  local inlines = pandoc.List()
  for _, part in ipairs({ ... }) do
    if #inlines > 0 and #part > 0 then inlines:insert(pandoc.Space()) end
    inlines:extend(part)
  end
  return inlines
end

-- A row as a tagged paragraph: the first cell in bold is the tag, the
-- other cells make the paragraph.
local function plain_item(cells)
  local text = pandoc.List()
  for i = 2, #cells do text = joined(text, cells[i]) end
  return { { pandoc.Strong(cells[1]) }, { pandoc.Para(text) } }
end

-- The blocks with their first table turned into tagged paragraphs, one per
-- row (item(cells) gives the tag and the paragraph).
local function tabled(where, blocks, item)
  local out, found = pandoc.List(), false
  for _, block in ipairs(blocks) do
    if block.t == "Table" and not found then
      found = true
      local items = pandoc.List()
      for _, cells in ipairs(rows_of(block)) do items:insert((item or plain_item)(cells)) end
      out:insert(pandoc.DefinitionList(items))
    else
      out:insert(block)
    end
  end
  if not found then fail(where .. " has no table") end
  return out
end

-- The sections of a page that no heading has claimed, as subsections.
local function remaining(page)
  local blocks = pandoc.List()
  for _, section in ipairs(page.sections) do
    if not section.used then
      section.used = true
      blocks:insert(pandoc.Header(2, section.title))
      blocks:extend(section.blocks)
    end
  end
  return blocks
end

local function paragraphs(blocks)
  return blocks:filter(function(block) return block.t == "Para" end)
end

-- The usage line: options in bold, the names of values in italics.
local function usage(text)
  local inlines = pandoc.List()
  local first = true
  for word in text:gmatch("%S+") do
    if not first then inlines:insert(pandoc.Space()) end
    first = false
    if word == "sumvane" then
      inlines:insert(pandoc.Strong({ pandoc.Str(word) }))
    else
      local at = 1
      while at <= #word do
        local option = word:match("^%-%-?%a[%w-]*", at)
        local value = word:match("^<[^>]+>", at)
        if option then
          inlines:insert(pandoc.Strong({ pandoc.Str(option) }))
          at = at + #option
        elseif value then
          inlines:insert(pandoc.Emph({ pandoc.Str(value) }))
          at = at + #value
        else
          local plain = word:match("^[^<%-]+", at) or word:sub(at, at)
          inlines:insert(pandoc.Str(plain))
          at = at + #plain
        end
      end
    end
  end
  return inlines
end

local function Pandoc(doc)
  local pages = split_pages(doc.blocks)
  local contents = page_of(pages, "toc")
  local overview = page_of(pages, "overview")
  local command_line = page_of(pages, "command-line")
  local files = page_of(pages, "files")
  local contact = page_of(pages, "contact")
  local description = doc.meta.description and stringify(doc.meta.description)
  if not description or description == "" then fail("no description given (pandoc -M description=...)") end

  -- The synopsis block of the command-line page: the usage line, then
  -- notes that belong with the options.
  local synopsis, command_line_intro = nil, pandoc.List()
  for _, block in ipairs(command_line.intro) do
    if block.t == "Div" and block.classes:includes("synopsis") then
      synopsis = block.content
    else
      command_line_intro:insert(block)
    end
  end
  if not synopsis or not synopsis[1] or synopsis[1].t ~= "Para" then
    fail("the help page 'command-line' has no synopsis block")
  end
  local usage_text = stringify(synopsis[1])
  -- The value each option takes, as the usage line names it ("-f<Folder>").
  local value_names = {}
  for option, value in usage_text:gmatch("(%-%-?%a[%w-]*)(<[^>]+>)") do value_names[option] = value end

  local out = pandoc.List()
  local function heading(title) out:insert(pandoc.Header(1, title)) end

  heading("NAME")
  -- "name \- text", the form the manual-page indexers read.
  out:insert(pandoc.Para({ pandoc.Str("sumvane"), pandoc.Space(), pandoc.RawInline("man", "\\-"), pandoc.Space(),
                           pandoc.Str(description) }))

  heading("SYNOPSIS")
  out:insert(pandoc.Para(usage(usage_text)))

  heading("DESCRIPTION")
  out:extend(paragraphs(contents.intro))
  out:extend(overview.intro)
  local exit_codes = section_of("overview", overview, "Exit codes")
  out:extend(remaining(overview))

  heading("OPTIONS")
  out:extend(command_line_intro)
  for i = 2, #synopsis do out:insert(synopsis[i]) end
  -- Option, value, effect: the tag names the value as the usage line does
  -- ("-f<Folder>"), and the paragraph says what it is before the effect.
  out:extend(tabled("The section 'Options'", section_of("command-line", command_line, "Options"),
    function(cells)
      local option, value = stringify(cells[1]), stringify(cells[2])
      local value_name = value_names[option]
      local tag = pandoc.List({ pandoc.Strong(cells[1]) })
      local text = pandoc.List()
      if value_name then tag:insert(pandoc.Emph({ pandoc.Str(value_name) })) end
      if value ~= "none" and value ~= "" then
        text:insert(value_name and pandoc.Emph({ pandoc.Str(value_name) }) or pandoc.Str("Value"))
        text:insert(pandoc.Str(":"))
        text = joined(text, cells[2])
        text:insert(pandoc.Str("."))
      end
      return { tag, { pandoc.Para(joined(text, cells[3] or {})) } }
    end))
  local examples = section_of("command-line", command_line, "Examples")
  out:extend(remaining(command_line))

  heading("EXIT STATUS")
  out:extend(tabled("The section 'Exit codes'", exit_codes))

  heading("FILES")
  local menu = section_of("files", files, "The context-menu entry")
  out:extend(tabled("The page 'files'", files.intro))
  out:extend(remaining(files))

  heading("CONTEXT MENU ENTRY")
  out:extend(tabled("The section 'The context-menu entry'", menu))

  heading("EXAMPLES")
  out:extend(tabled("The section 'Examples'", examples))

  heading("REPORTING BUGS")
  out:extend(contact.intro)
  out:extend(remaining(contact))

  doc.blocks = out
  return doc
end

-- A block of commands, line by line as written, in bold as literal text
-- is: the font a code block gets otherwise is not one every manual viewer
-- knows.
local function command_lines(block)
  local lines = {}
  for line in (block.text .. "\n"):gmatch("([^\n]*)\n") do
    line = line:gsub("\\", "\\[rs]")
    if line:match("^[.']") then line = "\\&" .. line end
    table.insert(lines, line)
  end
  return pandoc.RawBlock("man", ".IP\n.nf\n\\f[B]" .. table.concat(lines, "\n") .. "\\f[R]\n.fi")
end

-- Then, everywhere: literal text in bold.
return { { Pandoc = Pandoc }, { Code = literal, CodeBlock = command_lines } }
